#include "MessageBox.h"
#include "ModalAnswers.h"
#include "MyComboBox.h"
#include "MyDialog.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {

// Answers the next modal message box with the button captioned `answer`, noting what
// the box showed.
struct BoxAnswer
{
    QString answer;
    bool seen = false;
    QStringList captions;
    QString title;
    QString text;
    Qt::WindowFlags flags;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

void answerNextBox(QObject* context, BoxAnswer* a)
{
    auto* timer = new QTimer(context);
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, context, [a, timer] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        timer->stop();
        a->seen = true;
        a->title = box->windowTitle();
        a->text = box->text();
        a->flags = box->windowFlags();
        a->icon = box->icon();
        for (QAbstractButton* b : box->buttons())
            a->captions << b->text();
        a->captions.sort();
        for (QAbstractButton* b : box->buttons())
            if (b->text() == a->answer)
                b->click();
    });
    timer->start();
}

} // namespace

class TestSmallWidgets : public QObject
{
    Q_OBJECT
private slots:
    void messageBoxCaptionsAndAnswers_data();
    void messageBoxCaptionsAndAnswers();
    void injectedAnswersReplaceEveryModalQuestion();
    void escapeDoesNotCloseMyDialog();
    void comboBoxReportsEachOpeningOnce();
};

void TestSmallWidgets::messageBoxCaptionsAndAnswers_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<int>("result");
    const QStringList yesNo = QStringList{QStringLiteral("否"), QStringLiteral("是")};
    QTest::newRow("yes") << int(QMessageBox::Yes | QMessageBox::No) << QStringLiteral("是") << yesNo << int(QMessageBox::Yes);
    QTest::newRow("no") << int(QMessageBox::Yes | QMessageBox::No) << QStringLiteral("否") << yesNo << int(QMessageBox::No);
    QTest::newRow("ok") << int(QMessageBox::Ok) << QStringLiteral("好") << QStringList{QStringLiteral("好")} << int(QMessageBox::Ok);
}

void TestSmallWidgets::messageBoxCaptionsAndAnswers()
{
    QFETCH(int, buttons);
    QFETCH(QString, answer);
    QFETCH(QStringList, captions);
    QFETCH(int, result);

    QObject context;
    BoxAnswer a;
    a.answer = answer;
    answerNextBox(&context, &a);
    const int pressed = showMessageBox(QMessageBox::Question, QStringLiteral("温馨提示"), QStringLiteral("请确认是否要关闭程序?"),
                                       QMessageBox::StandardButtons(buttons));
    QVERIFY(a.seen);
    QCOMPARE(a.captions, captions);
    QCOMPARE(pressed, result);
    QCOMPARE(a.title, QStringLiteral("温馨提示"));
    QCOMPARE(a.text, QStringLiteral("请确认是否要关闭程序?"));
    QCOMPARE(a.icon, QMessageBox::Question);
    QVERIFY(a.flags.testFlag(Qt::MSWindowsFixedSizeDialogHint));
    QVERIFY(!QApplication::activeModalWidget());  // the box is gone
}

// Tests answer boxes, pickers and text input without any modal loop; removing the answer
// brings the Qt dialogs back.
void TestSmallWidgets::injectedAnswersReplaceEveryModalQuestion()
{
    QString seenTitle;
    setMessageBoxAnswer([&](QMessageBox::Icon, const QString& title, const QString&, QMessageBox::StandardButtons) {
        seenTitle = title;
        return int(QMessageBox::No);
    });
    QCOMPARE(showMessageBox(QMessageBox::Question, QStringLiteral("提示"), QStringLiteral("?"),
                            QMessageBox::Yes | QMessageBox::No),
             int(QMessageBox::No));
    QCOMPARE(seenTitle, QStringLiteral("提示"));
    setMessageBoxAnswer({});
    QVERIFY(!messageBoxAnswer());

    QList<PickerKind> kinds;
    setFilePickerAnswer([&](PickerKind kind, const QString&, const QString& dir, const QString& filter) {
        kinds << kind;
        return dir + QLatin1Char('|') + filter;
    });
    QCOMPARE(askOpenFileName(nullptr, QStringLiteral("打开工程"), QStringLiteral("/d"), QStringLiteral("*.json")),
             QStringLiteral("/d|*.json"));
    QCOMPARE(askSaveFileName(nullptr, QString(), QStringLiteral("/s"), QStringLiteral("*.png")), QStringLiteral("/s|*.png"));
    QCOMPARE(askExistingDirectory(nullptr, QString(), QStringLiteral("/e")), QStringLiteral("/e|"));
    QCOMPARE(kinds, (QList<PickerKind>{PickerKind::OpenFile, PickerKind::SaveFile, PickerKind::ExistingDirectory}));
    setFilePickerAnswer({});

    setTextInputAnswer([](const QString&, const QString&, bool* ok) {
        *ok = false;
        return QStringLiteral("恢复");
    });
    bool ok = true;
    askText(nullptr, QString(), QString(), &ok);
    QVERIFY(!ok);
    setTextInputAnswer({});
}

class SomeDialog : public MyDialog
{
public:
    SomeDialog()
    {
        edit = new QLineEdit(this);
        ok = new QPushButton(QStringLiteral("OK"), this);
        ok->move(0, 40);
        ok->setDefault(true);
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    }
    QLineEdit* edit;
    QPushButton* ok;
};

void TestSmallWidgets::escapeDoesNotCloseMyDialog()
{
    SomeDialog dialog;
    bool openAfterEscape = false;
    bool openAfterEscapeInEdit = false;
    QTimer::singleShot(50, &dialog, [&] {
        QTest::keyClick(&dialog, Qt::Key_Escape);
        openAfterEscape = dialog.isVisible();
        dialog.edit->setFocus();
        QTest::keyClick(dialog.edit, Qt::Key_Escape);  // passed up from a child
        openAfterEscapeInEdit = dialog.isVisible();
        QTest::keyClick(&dialog, Qt::Key_Return);  // Enter still reaches the default button
    });
    QTimer::singleShot(3000, &dialog, [&] { dialog.done(42); });  // never hang
    const int result = dialog.exec();
    QVERIFY(openAfterEscape);
    QVERIFY(openAfterEscapeInEdit);
    QCOMPARE(result, int(QDialog::Accepted));
}

void TestSmallWidgets::comboBoxReportsEachOpeningOnce()
{
    QWidget window;
    auto* combo = new MyComboBox(&window);
    combo->addItems({QStringLiteral("VL Band"), QStringLiteral("L Band"), QStringLiteral("M Band"), QStringLiteral("H Band")});
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QStringList signals_;
    connect(combo, &MyComboBox::popupShown, this, [&] { signals_ << QStringLiteral("shown"); });
    connect(combo, &MyComboBox::popupHidden, this, [&] { signals_ << QStringLiteral("hidden"); });

    combo->showPopup();
    QTRY_VERIFY(combo->view()->isVisible());
    combo->hidePopup();
    combo->hidePopup();  // Qt may close it more than once
    QCOMPARE(signals_, (QStringList{QStringLiteral("shown"), QStringLiteral("hidden")}));

    // Closed by choosing an item: again once each.
    signals_.clear();
    combo->showPopup();
    QTRY_VERIFY(combo->view()->isVisible());
    QTest::keyClick(combo->view(), Qt::Key_Down);
    QTest::keyClick(combo->view(), Qt::Key_Return);
    QTRY_VERIFY(!combo->view()->isVisible());
    QTest::qWait(50);
    QCOMPARE(signals_, (QStringList{QStringLiteral("shown"), QStringLiteral("hidden")}));
    QCOMPARE(combo->currentIndex(), 1);
}

QTEST_MAIN(TestSmallWidgets)
#include "tst_smallwidgets.moc"
