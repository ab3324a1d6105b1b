#include "UrlRecorder.h"

#include <QDesktopServices>
#include <QFile>

namespace {

const char* const schemes[] = { "http", "https", "mailto", "file", "ftp" };

} // namespace

UrlRecorder::UrlRecorder()
    : m_oldPath(qgetenv("PATH"))
{
    for (const char* scheme : schemes)
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "handle");
    const QString opener = m_bin.filePath(QStringLiteral("xdg-open"));
    QFile script(opener);
    if (script.open(QIODevice::WriteOnly)) {
        script.write("#!/bin/sh\nprintf '%s\\n' \"$*\" >>\"$(dirname \"$0\")/escaped.txt\"\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    qputenv("PATH", m_bin.path().toLocal8Bit() + ':' + m_oldPath);
    qunsetenv("BROWSER");
    qunsetenv("DEFAULT_BROWSER");
}

UrlRecorder::~UrlRecorder()
{
    for (const char* scheme : schemes)
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    qputenv("PATH", m_oldPath);
}

QStringList UrlRecorder::openedTexts() const
{
    QStringList texts;
    for (const QUrl& url : m_opened)
        texts << url.toString();
    return texts;
}

QString UrlRecorder::escaped() const
{
    QFile log(m_bin.filePath(QStringLiteral("escaped.txt")));
    return log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll()) : QString();
}

void UrlRecorder::handle(const QUrl& url)
{
    m_opened.append(url);
}
