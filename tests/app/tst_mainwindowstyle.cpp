#include "MainWindow.h"

#include "Dialog_DiskManage.h"
#include "FramelessHelper.h"
#include "MessageBox.h"
#include "QtTranslation.h"

#include <QtTest>
#include <QtWidgets>

#include <functional>

namespace {

// What a test saw of a modal dialog; of a message box its text, where it starts and if it fits.
struct Seen {
    QStringList buttons;
    QString text;
    int textOffset = 1000;
    bool textFits = false;
};

// Runs open, which shows a modal T: hands it to look, pictures it and closes it with its last button.
template <class T>
Seen lookAtModal(const std::function<void()>& open, const QString& png, const std::function<void(T*)>& look = {})
{
    Seen seen;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        poll.stop();
        if (look)
            look(dialog);
        dialog->grab().save(QStringLiteral(VARN_BINARY_DIR "/screenshots/") + png);
        auto* box = dialog->template findChild<QDialogButtonBox*>();
        const QList<QAbstractButton*> buttons = box ? box->buttons() : QList<QAbstractButton*>();
        for (QAbstractButton* button : buttons)
            seen.buttons << button->text();
        if (auto* text = dialog->template findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
            seen.text = text->text();
            seen.textOffset = text->x() - dialog->template findChild<QLabel*>(QStringLiteral("qt_msgboxex_icon_label"))->x();
            seen.textFits = text->wordWrap() ? text->heightForWidth(text->width()) <= text->height()
                                             : text->minimumSizeHint().width() <= text->width();
        }
        buttons.isEmpty() ? dialog->reject() : buttons.last()->click();
    });
    poll.start(10);
    open();
    return seen;
}

} // namespace

// The main window loads the program style and hands its frame to the frameless helper.
class TestMainWindowStyle : public QObject
{
    Q_OBJECT
private slots:
    void runsStyledWithWorkingWindowButtons();
    void dialogsLookFinishedAndSpeakChinese();
};

void TestMainWindowStyle::runsStyledWithWorkingWindowButtons()
{
    MainWindow window;
    QVERIFY(qApp->styleSheet().contains(QLatin1String("QWidget#appBar")));

    window.resize(1200, 680);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* helper = window.findChild<FramelessHelper*>();
    QVERIFY(helper);
    QCOMPARE(helper->titleBarHeight(), 50);

    const QString folder = QStringLiteral(VARN_BINARY_DIR "/screenshots");
    QDir().mkpath(folder);
    window.findChild<QTabBar*>(QStringLiteral("tabBar"))->setCurrentIndex(1);
    QVERIFY(window.grab().save(folder + QStringLiteral("/mainwindow_styled_sampling.png")));
    window.findChild<QTabBar*>(QStringLiteral("tabBar"))->setCurrentIndex(0);
    QVERIFY(window.grab().save(folder + QStringLiteral("/mainwindow_styled.png")));

    auto* maximize = window.findChild<QToolButton*>(QStringLiteral("btnMenu_Max"));
    QVERIFY(!maximize->icon().isNull());
    QCOMPARE(maximize->toolTip(), QStringLiteral("最大化"));
    const qint64 normalIcon = maximize->icon().cacheKey();
    maximize->click();
    QTRY_VERIFY(window.isMaximized());
    QTRY_COMPARE(maximize->toolTip(), QStringLiteral("还原"));
    QCOMPARE(maximize->text(), QStringLiteral("2"));
    QVERIFY(maximize->icon().cacheKey() != normalIcon);
    maximize->click();
    QTRY_VERIFY(!window.isMaximized());
    QTRY_COMPARE(maximize->toolTip(), QStringLiteral("最大化"));
    QCOMPARE(maximize->text(), QStringLiteral("1"));
}

void TestMainWindowStyle::dialogsLookFinishedAndSpeakChinese()
{
    // As the program's start-up does before it builds the window.
    QVERIFY(installQtTranslation(qApp));
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QDir().mkpath(QStringLiteral(VARN_BINARY_DIR "/screenshots"));

    // The model name where a web address would be, as plain text.
    auto* webSite = window.findChild<QLabel*>(QStringLiteral("label_WebSite"));
    QCOMPARE(webSite->text(), QStringLiteral("Varn28"));
    QCOMPARE(webSite->textFormat(), Qt::PlainText);

    // A text sits next to its icon; a long one is wrapped to the box's width, not cut off.
    const QString error = QStringLiteral(
        "D:/Survey/Demo/L1_P3/1_CH1.dat ftp://127.0.0.1/mnt/DATA/95271025/3/1_CH1.dat ContentNotFoundError\r\n"
        "D:/Survey/Demo/L1_P3/1_CH2.dat ftp://127.0.0.1/mnt/DATA/95271025/3/1_CH2.dat 传输超时，已重试3次\r\n");
    const Seen errorBox = lookAtModal<QMessageBox>(
        [&] { showMessageBox(QMessageBox::Warning, QStringLiteral("Error"), error, QMessageBox::Ok); },
        QStringLiteral("messagebox_long_text.png"));
    QVERIFY2(errorBox.textOffset < 100 && errorBox.textFits, qPrintable(QString::number(errorBox.textOffset)));
    QCOMPARE(errorBox.buttons, QStringList(QStringLiteral("好")));

    // The storage dialog's own warning, as the operator meets it.
    Dialog_DiskManage* disk = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        disk = disk ? disk : qobject_cast<Dialog_DiskManage*>(widget);
    disk->setTableJson(R"({"Data":[{"ID":1001,"ProjectName":"北坡测线"},{"ID":1002,"ProjectName":"南坡测线"}]})");
    disk->show();
    QVERIFY(QTest::qWaitForWindowExposed(disk));
    const Seen noSelection = lookAtModal<QMessageBox>(
        [&] { disk->findChild<QPushButton*>(QStringLiteral("btn_Delete"))->click(); },
        QStringLiteral("messagebox_no_selection.png"));
    QCOMPARE(noSelection.text, QStringLiteral("请先选择要删除的工程"));
    QVERIFY2(noSelection.textOffset < 100 && noSelection.textFits, qPrintable(QString::number(noSelection.textOffset)));

    // The format confirmation: an empty field whose hint is drawn grey (typed text stays black),
    // and Qt's buttons in Chinese. A black hint would darken a few hundred pixels, a cursor a column.
    QString placeholder;
    QColor typed;
    int dark = 0;  // nearly black pixels inside the field
    const Seen confirm = lookAtModal<QInputDialog>(
        [&] { disk->findChild<QPushButton*>(QStringLiteral("btn_Format"))->click(); },
        QStringLiteral("format_confirmation.png"), [&](QInputDialog* input) {
            auto* edit = input->findChild<QLineEdit*>();
            placeholder = edit->placeholderText();
            typed = edit->palette().color(QPalette::Text);
            const QImage image = edit->grab().toImage();
            const QRect inside = edit->contentsRect().adjusted(4, 4, -4, -4);
            for (int y = inside.top(); y <= inside.bottom(); ++y)
                for (int x = inside.left(); x <= inside.right(); ++x)
                    dark += QColor(image.pixel(x, y)).value() < 64;
        });
    QCOMPARE(placeholder, QStringLiteral("请输入：恢复"));
    QCOMPARE(confirm.buttons, (QStringList{QStringLiteral("确定"), QStringLiteral("取消")}));
    QCOMPARE(typed, QColor(Qt::black));
    QVERIFY2(dark < 40, qPrintable(QString::number(dark)));
    disk->hide();

    // The file picker of "打开工程", pictured once its folder (read in the background) is listed.
    bool listed = false;
    const Seen picker = lookAtModal<QFileDialog>(
        [&] { window.findChild<QToolButton*>(QStringLiteral("tbtnOpenProject"))->click(); },
        QStringLiteral("file_picker.png"), [&](QFileDialog* dialog) {
            auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
            listed = QTest::qWaitFor([&] { return list && list->model()->rowCount(list->rootIndex()) > 0; }, 5000);
        });
    QVERIFY(listed);
    QCOMPARE(picker.buttons, (QStringList{QStringLiteral("打开(&O)"), QStringLiteral("取消")}));
}

QTEST_MAIN(TestMainWindowStyle)
#include "tst_mainwindowstyle.moc"
