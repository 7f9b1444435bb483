#pragma once

#include <QString>

namespace fwb {

// The user's list of programs that the desktop session starts at logon, as far as the Agent's
// own entry in it goes.
class AutoStartStore
{
public:
    struct Entry
    {
        enum class Kind {
            Missing, // there is no entry
            Program, // an entry that starts one program, with no arguments
            Other,   // an entry that is there but is not that: switched off, with arguments,
                     // unreadable or damaged
        };
        Kind kind = Kind::Missing;
        QString program; // the program's path when kind is Program
    };

    virtual ~AutoStartStore() = default;
    virtual Entry read() const = 0;
    // Both answer whether the store took the change; callers judge by reading back.
    virtual bool write(const QString &program) = 0;
    virtual bool remove() = 0;
};

} // namespace fwb
