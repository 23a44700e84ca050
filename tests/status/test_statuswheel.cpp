// The mouse wheel in edit mode: over a control without the keyboard focus it changes
// nothing and sends nothing; only the focused control takes it.

#include "support/statustest.h"

#include <QCheckBox>
#include <QWheelEvent>

using namespace kfc;
using namespace kfc::test;

namespace {

// One notch of the wheel over the middle of the control, towards the next item.
void turnWheel(QWidget* control)
{
    const QPointF centre = QRectF(control->rect()).center();
    QWheelEvent wheel(centre, control->mapToGlobal(centre), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(control, &wheel);
}

QString shown(QWidget* control)
{
    if (auto* combo = qobject_cast<QComboBox*>(control))
        return combo->currentText();
    return qobject_cast<QAbstractSpinBox*>(control)->text();
}

} // namespace

class TestStatusWheel : public QObject {
    Q_OBJECT
private slots:
    void wheelChangesOnlyTheFocusedControl_data();
    void wheelChangesOnlyTheFocusedControl();
};

void TestStatusWheel::wheelChangesOnlyTheFocusedControl_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("sent"); // what a deliberate change sends at once

    QTest::newRow("Dump") << "cbDump" << "ED1";
    QTest::newRow("Cont. Output") << "cbContOutput" << "EC1";
    QTest::newRow("Max Size") << "cbMaxSize" << "ED0";
    QTest::newRow("channel threshold") << "seUpTh2" << "";
    QTest::newRow("length compensation") << "seLengthComp" << "";
}

void TestStatusWheel::wheelChangesOnlyTheFocusedControl()
{
    QFETCH(QString, name);
    StatusSession s;
    QVERIFY(s.connect());
    s.button("bbtnChange")->click();
    child<QCheckBox>(s.status, "cBoxChannel2")->setChecked(true);
    QWidget* control = s.control<QWidget>(name);
    QVERIFY(control->isEnabled());
    const QString before = shown(control);
    s.clearCommands();

    s.button("bbtnSave")->setFocus();
    turnWheel(control);
    QCOMPARE(s.settledCommands(), QStringList());
    QCOMPARE(shown(control), before);

    control->setFocus();
    turnWheel(control);
    QVERIFY(shown(control) != before);
    QFETCH(QString, sent);
    QCOMPARE(s.settledCommands(), sent.isEmpty() ? QStringList() : QStringList{sent});
}

KFC_APP_TEST_MAIN(TestStatusWheel)
#include "test_statuswheel.moc"
