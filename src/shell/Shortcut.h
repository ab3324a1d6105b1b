// Shortcuts to a program in the user's folders: a desktop entry on the
// desktop or in the applications menu, written again on every call and
// replacing the one there. Failures are silent: a folder the user does not
// have, a missing sub-folder, no permission or a full disk write nothing.
#pragma once

#include <QString>
#include <QStringList>

// Where CreateShortcut puts a shortcut.
enum ShortcutKind : unsigned char {
    ShortcutDesktop = 0, // the desktop folder
    ShortcutQuickLaunch = 1, // no such folder here: nothing is written
    ShortcutSendTo = 2, // no such folder here: nothing is written
    ShortcutStartMenu = 3, // the applications menu folder
    ShortcutFolder = 4, // the folder given
};

// Writes a desktop entry that starts Target with Arguments in WorkingFolder
// (empty: the folder of Target), with Description as its comment and the
// program's icon. It is named after Target, with ".desktop" in place of an
// extension, and goes into the folder of Kind, below that into the
// sub-folder Folder when one is given (it is not created); for
// ShortcutFolder, Folder is the destination itself. LinkPath receives the
// written file's full path and is left alone when nothing was written.
void CreateShortcut(const QString& Target, unsigned char Kind, const QString& Folder, QString& LinkPath,
    const QString& Description, const QStringList& Arguments, const QString& WorkingFolder);

// The folder of the applications menu (created when missing, as the base
// directory rules ask), or an empty text when the user has none.
void GetProgramsFolder(QString& Folder);

// Whether a menu entry installed for every user (an applications folder of
// XDG_DATA_DIRS, as a package puts it) starts Target itself: its Exec names
// Target's file, a link to it, or a command the PATH leads to it. Such an
// entry is the program's menu item, and a second one would only repeat it.
bool SystemMenuStarts(const QString& Target);
