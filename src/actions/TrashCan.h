#pragma once

#include <QByteArray>
#include <QString>

#include <ctime>

class ChosenEntry;

// The trash of the freedesktop.org desktops. An entry on the file system of the
// user's trash ($XDG_DATA_HOME/Trash, by default ~/.local/share/Trash) goes there;
// any other goes to the trash at the top of its own file system: $topdir/.Trash/$uid
// where the administrator made $topdir/.Trash (a real folder with the sticky bit),
// else $topdir/.Trash-$uid. Nothing is copied between file systems.
//
// Each entry is moved by renaming its name in its folder, so a symbolic link goes
// as the link and names keep their bytes. Its record, info/NAME.trashinfo, is made
// first and exclusively, which reserves NAME against other programs trashing at the
// same time; it holds the original path, percent-encoded byte for byte, and the
// local time of the deletion.
class TrashCan
{
public:
    // The user's trash as the environment names it now.
    TrashCan();

    struct Outcome
    {
        QByteArray trashedAs; // moved: where the entry lies now
        QString reason; // not moved: why
        int error = 0; // not moved: the system's reason, where it gave one

        bool moved() const { return reason.isEmpty(); }
    };
    Outcome moveToTrash(const ChosenEntry &entry) const;

    const QByteArray &homeTrash() const { return m_home; }

    // The text of a record: Path as given (already relative or absolute) and the
    // deletion moment in local time.
    static QByteArray infoText(const QByteArray &originalPath, std::time_t deleted);

private:
    QByteArray m_home;
};
