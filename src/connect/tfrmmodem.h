#pragma once
// "Modem Connection": finds the modem to use and its port, sets the shared port up for
// it, dials the number chosen in the phone book and follows the modem's result lines,
// telling its progress line by line. Made for one attempt and freed after it.
//
// There is no telephony service here: the installed modems are the settings store's
// "Modems" group, each key a modem's name and its value the port it is attached to as the
// modem's own settings name it ("COM5"). "Device Selection" offers them when there is not
// exactly one.

#include "link/modemdial.h"

#include <QDialog>
#include <QPointer>
#include <QStringList>

#include <memory>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace kfc {
class ComPort;
class Link;
}

namespace kfc::connect {

inline const QString kModemsGroup = QStringLiteral("Modems");

// The names of the installed modems, as the "Modems" group lists them.
QStringList installedModems();
// The port text of a modem ("COM5"); empty when there is no such modem.
QString modemPortText(const QString& modemName);

// "Device Selection": one drop-down of the modems, OK and Cancel. With no modem set up it
// says where to add one and cannot be confirmed.
class DeviceSelectionDialog : public QDialog {
    Q_OBJECT
public:
    DeviceSelectionDialog(const QStringList& modems, QWidget* parent = nullptr);
    QString selectedName() const;

private:
    QComboBox* m_cbDevices;
};

class TfrmModem : public QDialog {
    Q_OBJECT
public:
    // Timing and holding of the line come from the link.
    explicit TfrmModem(Link& link, QWidget* parent = nullptr);
    ~TfrmModem() override;

    // The port to dial on (the main frame's); not owned. Must be set before Dial.
    kfc::ComPort* comPort() const { return m_comPort; }
    void setComPort(kfc::ComPort* port) { m_comPort = port; }
    const QString& ModemName() const { return m_modemName; }
    const QString& PhoneNumber() const { return m_phoneNumber; }
    DialState dialState() const;

    // The whole attempt; true only when the modem reported "CONNECT" in time. The port is
    // then open and carries the call; otherwise it is closed.
    bool Dial(const QString& number);

    void btbtnCancelClick();
    void AddStatusLine(const QString& text);
    QStringList statusLines() const;
    // Why the last attempt did not connect, in a line: the modem's result, the time-out,
    // the cancel or the port's error. Empty after a connection.
    QString failureText() const;

    // Closing from the title bar during a dial cancels it; at any other time the window
    // stays until the attempt is over.
    void reject() override;

private:
    bool DetectModem();
    int FindModemComPort() const;
    void PollModemReply();
    void AbortDial();
    void exitSteps();
    // "Answer within 57 s" while the dial command waits for the modem's result.
    void showTimeLeft();

    Link& m_link;
    kfc::ComPort* m_comPort = nullptr;
    std::unique_ptr<ModemDialer> m_dialer;
    QString m_modemName;
    QString m_phoneNumber;
    bool m_detectionFailed = false;
    bool m_dialling = false;   // the dial command is out and no result has ended it
    QString m_error;           // the failure that ended the last attempt, when it was one

    QPlainTextEdit* m_memStatus;
    QLabel* m_labTimeLeft;
    QPushButton* m_btbtnCancel;
};

} // namespace kfc::connect
