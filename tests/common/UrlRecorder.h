// Stands in for the desktop's URL opener in tests: every address the program
// hands to QDesktopServices is recorded here instead of reaching a browser or
// a mail program. As a second guard, a fake xdg-open is put first on PATH;
// it only notes that something got past the recorder.
#pragma once

#include <QList>
#include <QObject>
#include <QTemporaryDir>
#include <QUrl>

class UrlRecorder : public QObject {
    Q_OBJECT

public:
    UrlRecorder();
    ~UrlRecorder() override;

    const QList<QUrl>& opened() const { return m_opened; }
    QStringList openedTexts() const;
    void clear() { m_opened.clear(); }

    // What reached the fake xdg-open (should stay empty).
    QString escaped() const;

public slots:
    void handle(const QUrl& url);

private:
    QList<QUrl> m_opened;
    QTemporaryDir m_bin;
    QByteArray m_oldPath;
};
