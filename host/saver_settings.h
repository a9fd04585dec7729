#pragma once
// What the settings pane shows and changes besides the module's own options: when the screensaver
// starts (the kit's idle time) and whether the registry has the extension turned on.

#include "host/module_election.h"

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

namespace quorvel::kit {
class Tessary;
}

namespace quorvel::saver {

struct IdleChoice {
    QString title; // "5 minutes", "Never"
    qint64 seconds = 0; // 0: never
    bool operator==(const IdleChoice&) const = default;
};

class SaverSettings : public QObject {
    Q_OBJECT
public:
    SaverSettings(kit::Tessary& kit, const ModuleElections& elections, QObject* parent = nullptr);

    // 1, 2, 5, 10, 20, 30 and 60 minutes and Never, with the current idle time in its place among
    // them when it is none of those.
    const QList<IdleChoice>& idleChoices() const { return choices_; }
    int currentIdleChoice() const { return current_; }
    // Writes the choice through the kit; a failure leaves the previous choice and sets idleTimeError().
    void chooseIdleTime(int index);
    const QString& idleTimeError() const { return idleTimeError_; }

    // None until read, or when the registry could not be read (electionError() says why).
    std::optional<Election> election() const { return election_; }
    bool isElecting() const { return electing_; }
    const QString& electionError() const { return electionError_; }
    // Reads the extension's election from the registry.
    QCoro::Task<> refreshElection();
    // Turns the extension on or off through the registry tool, then reads the election again; the
    // tool's failure text lands in electionError().
    QCoro::Task<> turnOn(bool on);

signals:
    void changed();

private:
    void loadIdleTime();

    kit::Tessary& kit_;
    const ModuleElections& elections_;
    QList<IdleChoice> choices_;
    int current_ = 0;
    QString idleTimeError_;
    std::optional<Election> election_;
    bool electing_ = false;
    QString electionError_;
};

// "1 minute", "20 minutes", "90 seconds", "Never".
QString idleTimeTitle(qint64 seconds);

} // namespace quorvel::saver
