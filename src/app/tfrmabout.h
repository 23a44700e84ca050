#pragma once
// The about box: the program's description, copyright, version, build and release date,
// read from the program's version resource, and the release notes.

#include "versioninfo.h"

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace kfc::app {

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* parent = nullptr,
                       VersionResource resource = builtInVersionResource());

    static const QString kReleaseNotes;

    void FormActivate();
    const VersionInfo& versionInfo() const { return m_info; }

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    VersionResource m_resource;
    VersionInfo m_info;
    QLabel* m_programIcon;
    QLabel* m_labProduct;
    QLabel* m_lblCopyright;
    QLabel* m_labVersion;
    QLabel* m_labBuild;
    QLabel* m_labReleased;
    QPlainTextEdit* m_memLog;
    QPushButton* m_okButton;
};

} // namespace kfc::app
