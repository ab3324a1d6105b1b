#include "ProgramFixture.h"

#include "app/WindowSet.h"
#include "ui/main/TForm1.h"
#include "ui/widgets/ProgramFolder.h"

#include <QTest>

ProgramFixture::ProgramFixture() = default;

ProgramFixture::~ProgramFixture()
{
    close();
}

void ProgramFixture::makeDatabase(const QVector<TestRecord>& records)
{
    m_db = std::make_unique<TestDatabase>(records);
    setProgramFolderForTesting(m_db->folder());
}

void ProgramFixture::openWindows(Show show)
{
    m_windows.reset();
    m_windows = std::make_unique<WindowSet>();
    QVERIFY(Form1);
    if (show == Show::Hidden)
        return;
    Form1->show();
    if (show == Show::Active)
        QVERIFY(QTest::qWaitForWindowActive(Form1));
    else
        QVERIFY(QTest::qWaitForWindowExposed(Form1));
}

void ProgramFixture::start(const QVector<TestRecord>& records)
{
    makeDatabase(records);
    openWindows();
}

void ProgramFixture::closeWindows()
{
    m_windows.reset();
}

void ProgramFixture::close()
{
    m_windows.reset();
    m_db.reset();
    setProgramFolderForTesting(QString());
}
