#pragma once
// The status window's form: the controls and their layout, a status record shown in them
// (or no values at all before the first read), and the values the operator has edited.
// It decides nothing about modes or the line: the window (TfStatus) tells it whether its
// settings take input, and decides when each button is usable.
//
//   statuslayout.cpp  the controls, their captions, items, ranges and layout
//   statusform.cpp    showing a record, reading the edits, the form's own handlers

#include "channelcontrols.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimeEdit;

namespace kfc {
struct ChannelStatus;
struct CounterStatus;
struct EditedSettings;
class UpdateSession;
}

namespace kfc::status {

class LiveChart;

class StatusForm : public QWidget {
    Q_OBJECT
public:
    StatusForm();

    // The window connects these and decides when each is usable.
    struct Buttons {
        QPushButton* refresh = nullptr;
        QPushButton* change = nullptr;
        QPushButton* save = nullptr;
        QPushButton* cancel = nullptr;
        QPushButton* contUpd = nullptr;
        QPushButton* profile = nullptr;
        QPushButton* syncTime = nullptr;
    };
    const Buttons& buttons() const { return m_buttons; }

    // Setting the controls from a record is not the operator's change: it sends nothing
    // and marks no date or time as changed.
    void showRecord(const CounterStatus& status);
    void showChannel(int n, const ChannelStatus& channel);
    void showNoValues();
    void setGridTitles();
    // In continuous update the list of lines and the live chart take the place of
    // "Cont. &Update", and of the profile grid, which no line changes.
    void showUpdateMode(bool on);
    void addEventLine(const QString& line);
    // The chart draws what the session holds now.
    void followSession(const UpdateSession& session);

    // Whether the settings take input (edit mode); a channel's settings also follow its box.
    void setEditable(bool on);
    void UpdateChannelControls(int n);
    void UpdateEventControls();
    // "&Change" starts with the date and time untouched.
    void forgetClockChanges();
    bool dateChanged() const { return m_dateChanged; }
    bool timeChanged() const { return m_timeChanged; }
    EditedSettings editedSettings() const;
    int contOutputChoice() const;
    int dumpChoice() const;

    // The profile that the next save sends, as the profile window hands it over.
    QString profileCell(int column) const;
    void setProfileCell(int column, const QString& text);
    QString profileType() const;
    void setProfileType(const QString& type);

    // The control of channel n named prefix + n, whatever the letter case (null when the
    // form has none).
    template <typename T>
    T* channelControl(const QString& prefix, int n) const
    {
        return findChannelControl<T>(*this, prefix, n);
    }

    // The form's own handlers.
    void cBoxChannelClick(QCheckBox* box);
    void cbEventsChange();
    void dtpDateChange();
    void dtpTimeChange();
    void bbtnSyncTimeClick();

signals:
    // The operator's choices that the window sends at once, and the grid's double click.
    void contOutputChosen();
    void dumpChosen();
    void profileGridDoubleClicked();

private:
    // statuslayout.cpp
    void buildControls();
    void showDisabledValuesReadably();
    QWidget* buildSettings();
    QWidget* buildCounterBox();
    QWidget* buildProfile();
    QGroupBox* buildChannels();
    void addChannelTitles(QGridLayout& grid);
    void addChannelRow(QGridLayout& grid, int n);
    QWidget* buildButtons();
    int gridTitleWidth() const;

    // statusform.cpp
    void connectHandlers();

    bool m_showing = false;
    bool m_editable = false;
    // The operator touched the picker, or pressed "S&ync Time", since the last "&Change".
    bool m_dateChanged = false;
    bool m_timeChanged = false;

    Buttons m_buttons;
    QLabel* labVersion = nullptr;
    QLabel* labEvents = nullptr;
    QComboBox* cbPrinter = nullptr;
    QComboBox* cbEvents = nullptr;
    QComboBox* cbRelay = nullptr;
    QComboBox* cbLogging = nullptr;
    QComboBox* cbBuffer = nullptr;
    QComboBox* cbAlgorithm = nullptr;
    QComboBox* cbContOutput = nullptr;
    QComboBox* cbDump = nullptr;
    QComboBox* cbMaxSize = nullptr;
    QSpinBox* seLengthComp = nullptr;
    QLineEdit* eCond = nullptr;
    QTableWidget* sgCond = nullptr;
    QLineEdit* eCondType = nullptr;
    QDateEdit* dtpDate = nullptr;
    QTimeEdit* dtpTime = nullptr;
    QGroupBox* gbChannels = nullptr;
    QPlainTextEdit* memLastEvent = nullptr;
    LiveChart* m_chart = nullptr;
    QWidget* m_profileRow = nullptr;
};

} // namespace kfc::status
