#include "MainWindow.h"

#include "Dialog_DiskManage.h"
#include "FramelessHelper.h"
#include "MessageBox.h"
#include "QtTranslation.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <functional>

namespace {

const QString screenshotFolder = QStringLiteral(VARN_BINARY_DIR "/screenshots");

// What a test saw of a modal dialog before it closed it.
struct Seen {
    QImage image;
    QStringList buttons;
    QStringList labels;
};

// Runs the action that opens a modal dialog of type T; once the dialog shows, hands it to
// look, saves its picture and closes it with its last button (Cancel, or the only one).
template <class T>
Seen lookAtModal(const std::function<void()>& open, const QString& png, const std::function<void(T*)>& look = {})
{
    Seen seen;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<T*>(widget);
            if (!dialog || !dialog->isVisible())
                continue;
            poll.stop();
            if (look)
                look(dialog);
            seen.image = dialog->grab().toImage();
            seen.image.save(screenshotFolder + QLatin1Char('/') + png);
            QList<QAbstractButton*> buttons;
            for (QDialogButtonBox* box : dialog->template findChildren<QDialogButtonBox*>())
                buttons += box->buttons();
            for (QAbstractButton* button : buttons)
                seen.buttons << button->text();
            for (QLabel* label : dialog->template findChildren<QLabel*>())
                seen.labels << label->text();
            if (buttons.isEmpty())
                dialog->reject();
            else
                buttons.last()->click();
            return;
        }
    });
    poll.start();
    open();
    return seen;
}

// Pixels of the rectangle that are nearly black.
int darkPixels(const QImage& image, const QRect& rect)
{
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            count += QColor(image.pixel(x, y)).value() < 64;
    return count;
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

    const QString folder = screenshotFolder;
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
    QDir().mkpath(screenshotFolder);

    // The model name stands where a web address would be, as plain text.
    auto* webSite = window.findChild<QLabel*>(QStringLiteral("label_WebSite"));
    QCOMPARE(webSite->text(), QStringLiteral("Varn28"));
    QCOMPARE(webSite->textFormat(), Qt::PlainText);
    QVERIFY(!webSite->openExternalLinks());

    // A text sits next to its icon; a long one is wrapped to the box's width, not cut off.
    struct Geometry { QRect icon, text, box; bool textFits; };
    Geometry geometry{};
    const auto measure = [&](QMessageBox* box) {
        auto* text = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        geometry.icon = box->findChild<QLabel*>(QStringLiteral("qt_msgboxex_icon_label"))->geometry();
        geometry.text = text->geometry();
        geometry.box = box->rect();
        geometry.textFits = text->wordWrap() ? text->heightForWidth(text->width()) <= text->height()
                                             : text->minimumSizeHint().width() <= text->width();
    };
    const QString error = QStringLiteral(
        "D:/Survey/Demo/L1_P3/1_CH1.dat ftp://127.0.0.1/mnt/DATA/95271025/3/1_CH1.dat ContentNotFoundError\r\n"
        "D:/Survey/Demo/L1_P3/1_CH2.dat ftp://127.0.0.1/mnt/DATA/95271025/3/1_CH2.dat 传输超时，已重试3次\r\n");
    const Seen errorBox = lookAtModal<QMessageBox>(
        [&] { showMessageBox(QMessageBox::Warning, QStringLiteral("Error"), error, QMessageBox::Ok); },
        QStringLiteral("messagebox_long_text.png"), measure);
    QVERIFY(!errorBox.image.isNull());
    QVERIFY2(geometry.icon.width() < 100, qPrintable(QString::number(geometry.icon.width())));
    QVERIFY2(geometry.text.left() - geometry.icon.right() < 40,
             qPrintable(QStringLiteral("icon ends at %1, text starts at %2").arg(geometry.icon.right()).arg(geometry.text.left())));
    QVERIFY(geometry.textFits);
    QVERIFY(errorBox.buttons.contains(QStringLiteral("好")));

    // The storage dialog's own warning, as the operator meets it.
    Dialog_DiskManage* disk = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        disk = disk ? disk : qobject_cast<Dialog_DiskManage*>(widget);
    QVERIFY(disk);
    disk->setTableJson(R"({"Data":[{"ID":1001,"ProjectName":"北坡测线"},{"ID":1002,"ProjectName":"南坡测线"}]})");
    disk->show();
    QVERIFY(QTest::qWaitForWindowExposed(disk));
    const Seen noSelection = lookAtModal<QMessageBox>(
        [&] { disk->findChild<QPushButton*>(QStringLiteral("btn_Delete"))->click(); },
        QStringLiteral("messagebox_no_selection.png"), measure);
    QVERIFY(noSelection.labels.contains(QStringLiteral("请先选择要删除的工程")));
    QVERIFY(geometry.text.left() - geometry.icon.right() < 40);
    QVERIFY(geometry.textFits);
    QVERIFY(geometry.box.width() >= 300);

    // The format confirmation: an empty field whose hint is drawn grey, and Qt's buttons in Chinese.
    QRect editRect;
    QString placeholder;
    QColor typedColour;
    const Seen confirm = lookAtModal<QInputDialog>(
        [&] { disk->findChild<QPushButton*>(QStringLiteral("btn_Format"))->click(); },
        QStringLiteral("format_confirmation.png"), [&](QInputDialog* input) {
            auto* edit = input->findChild<QLineEdit*>();
            placeholder = edit->placeholderText();
            typedColour = edit->palette().color(QPalette::Text);
            editRect = edit->contentsRect().translated(edit->mapTo(input, QPoint(0, 0)));
        });
    QCOMPARE(placeholder, QStringLiteral("请输入：恢复"));
    QCOMPARE(confirm.buttons, (QStringList{QStringLiteral("确定"), QStringLiteral("取消")}));
    // Black hint text would darken a few hundred pixels; a blinking cursor darkens a column.
    const int dark = darkPixels(confirm.image, editRect.adjusted(4, 4, -4, -4));
    QVERIFY2(dark < 40, qPrintable(QString::number(dark)));
    QCOMPARE(typedColour, QColor(Qt::black));
    disk->hide();

    // The file picker of "打开工程".
    bool listed = false;
    const Seen picker = lookAtModal<QFileDialog>(
        [&] { window.findChild<QToolButton*>(QStringLiteral("tbtnOpenProject"))->click(); },
        QStringLiteral("file_picker.png"), [&](QFileDialog* dialog) {
            // Its folder is read in the background: wait for the list before the picture.
            auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
            listed = QTest::qWaitFor([&] { return list && list->model()->rowCount(list->rootIndex()) > 0; }, 5000);
        });
    QVERIFY(listed);
    QCOMPARE(picker.buttons, (QStringList{QStringLiteral("打开(&O)"), QStringLiteral("取消")}));
    QVERIFY2(picker.labels.contains(QStringLiteral("查找范围：")), qPrintable(picker.labels.join(QLatin1Char('|'))));
}

QTEST_MAIN(TestMainWindowStyle)
#include "tst_mainwindowstyle.moc"
