#pragma once
// Continuous update: the counter reports fish, conductivity and clock changes as they
// happen, and the status form follows them. The loop listens on the line inside the
// button's handler; "&Cancel" (and the dummy fish window) run nested inside its wait, and
// the listening hold makes the loop's pending read give way to their exchanges.

#include "counter/updatesession.h"

#include <QString>

#include <functional>

class QDateTime;

namespace kfc {
class Link;
}

namespace kfc::status {

class StatusForm;

class ContinuousUpdate {
public:
    // modeChanged runs each time the mode is entered or left, once the form shows it.
    ContinuousUpdate(Link& link, StatusForm& form, std::function<void()> modeChanged);

    bool active() const { return m_active; }
    // The lines of the mode's latest run, kept from its start until the next status read
    // that is not the stop's own (forgetSession), so that they can be saved after it.
    const UpdateSession& session() const { return m_session; }
    bool sessionKept() const { return m_sessionKept; }
    void forgetSession();
    // Writes the session's CSV text; false with the reason when it cannot.
    bool saveSession(const QString& fileName, QString* error) const;
    // "Cont. &Update": enters the mode and follows the counter until the mode is left.
    void bbtnContUpdClick();
    // Enters or leaves the mode and tells the counter ("i1", "i0"), whatever it answers.
    void SetContinuousUpdate(bool on);
    void AddEventLine(const QString& text);
    // The time stamp of an event line: the counter's clock as the system writes a short
    // date and a long time.
    static QString eventStamp(const QDateTime& when);

private:
    void takeUpdateLine(const QString& line);
    void listenForUpdates();
    // Ends the mode in this window only, saying why in the debug log.
    void leaveUpdateLocally(const QString& why);
    void applyUpdateMode(bool on);

    Link& m_link;
    StatusForm& m_form;
    std::function<void()> m_modeChanged;
    bool m_active = false;
    UpdateSession m_session;
    bool m_sessionKept = false;
};

} // namespace kfc::status
