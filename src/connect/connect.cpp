#include "connect.h"

#include "tfcounterlogon.h"
#include "tfdirectcoms.h"
#include "tfrmmodem.h"
#include "tfrmphonebook.h"
#include "tfterminal.h"

#include "app/connectwindows.h"
#include "app/tfmain.h"

namespace kfc::connect {

namespace {

class ModemCall : public app::ModemAttempt {
public:
    explicit ModemCall(app::TfMain& main) : m_main(main) {}

    std::optional<QString> chooseNumber() override
    {
        m_phoneBook = std::make_unique<TfrmPhoneBook>(&m_main);
        if (m_phoneBook->exec() != QDialog::Accepted || !m_phoneBook->HasSelection())
            return std::nullopt;
        return m_phoneBook->SelectedNumber();
    }
    bool Dial(const QString& number) override
    {
        m_modem = std::make_unique<TfrmModem>(m_main.link(), &m_main);
        m_modem->setComPort(&m_main.comPort());
        return m_modem->Dial(number);
    }
    QString failureText() const override { return m_modem ? m_modem->failureText() : QString(); }
    QString ModemName() const override { return m_modem ? m_modem->ModemName() : QString(); }
    QString entryName() const override { return m_phoneBook ? m_phoneBook->SelectedName() : QString(); }

private:
    app::TfMain& m_main;
    // The book is freed last, as it saves itself then: after the call and what followed.
    std::unique_ptr<TfrmPhoneBook> m_phoneBook;
    std::unique_ptr<TfrmModem> m_modem;
};

class ConnectMenuWindows : public app::ConnectWindows {
public:
    explicit ConnectMenuWindows(app::TfMain& main) : m_main(main) {}

    bool setUpDirectPort() override
    {
        TfDirectComs setup(m_main.comPort(), &m_main);
        return setup.exec() == QDialog::Accepted;
    }
    std::unique_ptr<app::ModemAttempt> startModemAttempt() override
    {
        return std::make_unique<ModemCall>(m_main);
    }
    void openTerminal(bool connectMode) override { TfTerminal::open(m_main, connectMode); }
    void closeTerminal() override { TfTerminal::closeOpen(); }

private:
    app::TfMain& m_main;
};

} // namespace

void registerConnectWindows(app::TfMain& main)
{
    main.setConnectWindows(std::make_unique<ConnectMenuWindows>(main));
    // The status window's "&Terminal" opens the terminal in plain mode on its link.
    main.setToolOpener(app::Tool::Terminal, [&main](app::StatusAccess&) { TfTerminal::open(main, false); });
}

app::PasswordWindow* makePasswordWindow(app::TfMain& main)
{
    return new TfCounterLogon(main.link(), &main);
}

} // namespace kfc::connect
