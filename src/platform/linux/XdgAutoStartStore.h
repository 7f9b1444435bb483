#pragma once

#include "platform/AutoStartStore.h"

namespace fwb {

// The Agent's entry in the XDG autostart folder ($XDG_CONFIG_HOME/autostart, by default
// ~/.config/autostart): a desktop entry file that the session starts at logon.
class XdgAutoStartStore final : public AutoStartStore
{
public:
    explicit XdgAutoStartStore(QString fileName = QStringLiteral("fwbagent.desktop"),
                               QString entryName = QStringLiteral("FWB Agent"));

    Entry read() const override;
    bool write(const QString &program) override;
    bool remove() override;

    // Where the entry lives; follows the environment as it is at the time of asking.
    QString filePath() const;
    static QString autostartFolder();

private:
    QString m_fileName;
    QString m_entryName;
};

} // namespace fwb
