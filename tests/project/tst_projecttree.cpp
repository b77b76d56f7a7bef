#include "Form_Index.h"
#include "ProjectDocument.h"
#include "ProjectFixtures.h"
#include "SortTreeItem.h"
#include "../app/ModalBoxCatcher.h"

#include <QMenu>
#include <QSignalSpy>
#include <QThreadPool>
#include <QTemporaryDir>
#include <QtTest>

class TestProjectTree : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void treeOfKnownProject();
    void rowTexts();
    void doubleClicks();
    void contextMenuKeepsPointId();
    void clearForgetsRows();
    void refusedOpenKeepsTree();
    void recalculationReachesPointCalculation();
    void recalculationOutlivedByNothing();

private:
    QStringList childTexts(QTreeWidgetItem* row) const;

    QTemporaryDir* m_dir = nullptr;
    ModalBoxCatcher* m_boxes = nullptr;
};

void TestProjectTree::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    m_boxes = new ModalBoxCatcher;
}

void TestProjectTree::cleanup()
{
    delete m_boxes;
    delete m_dir;
}

QStringList TestProjectTree::childTexts(QTreeWidgetItem* row) const
{
    QStringList texts;
    for (int i = 0; i < row->childCount(); ++i)
        texts << row->child(i)->text(0);
    return texts;
}

void TestProjectTree::treeOfKnownProject()
{
    // Lines keep the order they first appear in; points sort by number, not text.
    const QString path = makeProject(m_dir->path(), {pointEntry(1, 3, 10, {61}), pointEntry(2, 1, 5, {488}),
                                                      pointEntry(3, 3, 2, {7800}), pointEntry(4, 3, 100, {250000}),
                                                      pointEntry(5, 1, 7, {61, 0, 488, 1000}, 27, 105)});
    Form_Index index;
    QVERIFY(index.openProject(path));
    QCOMPARE(index.columnCount(), 1);
    QCOMPARE(index.topLevelItemCount(), 2);
    QCOMPARE(index.topLevelItem(0)->text(0), QStringLiteral("3"));
    QCOMPARE(index.topLevelItem(1)->text(0), QStringLiteral("1"));
    QCOMPARE(childTexts(index.topLevelItem(0)), (QStringList{"2", "10", "100"}));
    QCOMPARE(childTexts(index.topLevelItem(1)), (QStringList{"5", "7"}));

    // The gap leaves no row; the later groups keep their numbers.
    QTreeWidgetItem* point5 = index.pointRow(5);
    QCOMPARE(point5, index.topLevelItem(1)->child(1));
    QCOMPARE(childTexts(point5), (QStringList{"VL Band", "L Band", "1000"}));
    QCOMPARE(point5->child(1)->text(6), QStringLiteral("3"));
    QCOMPARE(point5->child(2)->text(6), QStringLiteral("4"));

    // Rows added later are appended, unsorted, and a new line goes last.
    QVERIFY(index.addPointData(recording(6, 3, 1, {488})));
    QVERIFY(index.addPointData(recording(7, 9, 1, {488})));
    QCOMPARE(childTexts(index.topLevelItem(0)), (QStringList{"2", "10", "100", "1"}));
    QCOMPARE(index.topLevelItem(2)->text(0), QStringLiteral("9"));
}

void TestProjectTree::rowTexts()
{
    Form_Index index;
    QVERIFY(index.openProject(makeProject(m_dir->path(), {pointEntry(7, 2, 40, {7800, 488}, 27, 0x69)})));
    QTreeWidgetItem* point = index.pointRow(7);
    QCOMPARE(point->toolTip(0), QStringLiteral("ID:7,E0:Hx,E1:Hy,E2:Hy"));
    QCOMPARE(point->text(1), QStringLiteral("Point"));
    QCOMPARE(point->text(2), QStringLiteral("7"));
    QCOMPARE(point->text(3), QStringLiteral("27"));
    QCOMPARE(point->text(4), QStringLiteral("105"));
    QTreeWidgetItem* rate = point->child(1);
    QCOMPARE(rate->text(0), QStringLiteral("L Band"));
    QCOMPARE(rate->toolTip(0), QStringLiteral("SampleRate:488"));
    QCOMPARE((QStringList{rate->text(1), rate->text(2), rate->text(3), rate->text(4), rate->text(5), rate->text(6)}),
             (QStringList{"Rate", "488", "7", "27", "105", "2"}));

    QCOMPARE(pairingText(0x06), QStringLiteral(",E0:Hy,E1:Hx"));
    QCOMPARE(pairingText(0x3F | 0x40), QString());  // 3 pairs with nothing
    QCOMPARE(rateLabel(250000), QStringLiteral("H Band"));
    QCOMPARE(rateLabel(1000), QStringLiteral("1000"));

    // Without a tree an item is never less.
    SortTreeItem a(QStringList{"2"});
    SortTreeItem b(QStringList{"10"});
    QVERIFY(!(a < b) && !(b < a));
}

void TestProjectTree::doubleClicks()
{
    Form_Index index;
    QVERIFY(index.openProject(makeProject(m_dir->path(), {pointEntry(5, 1, 10, {61, 488}, 27, 105),
                                                          pointEntry(6, 1, 20, {7800})})));
    QSignalSpy points(&index, &Form_Index::signalSelectPoint);
    QSignalSpy rates(&index, &Form_Index::signalSelectRate);

    index.pointRow(6)->setExpanded(true);
    index.pointRow(5)->setExpanded(true);
    emit index.itemDoubleClicked(index.pointRow(5)->child(1), 0);
    QCOMPARE(rates.count(), 1);
    QCOMPARE(rates.first(), (QList<QVariant>{5, 27, 105, 2}));

    emit index.itemDoubleClicked(index.pointRow(5), 0);
    QCOMPARE(points.count(), 1);
    QCOMPARE(points.first().first().toInt(), 5);
    QVERIFY(!index.pointRow(6)->isExpanded());  // the other points of the line fold up

    emit index.itemDoubleClicked(index.topLevelItem(0), 0);
    QCOMPARE(points.count() + rates.count(), 2);
}

void TestProjectTree::contextMenuKeepsPointId()
{
    Form_Index index;
    const QString path = makeProject(m_dir->path(), {pointEntry(1, 1, 10, {61})});
    QVERIFY(index.openProject(path));
    index.resize(300, 300);
    index.show();
    QVERIFY(QTest::qWaitForWindowExposed(&index));
    index.expandAll();

    QTreeWidgetItem* rate = index.pointRow(1)->child(0);
    index.onRightClicked(index.visualItemRect(rate).center());
    QVERIFY(!index.indexMenu()->isVisible());
    QCOMPARE(index.rightClickedPointID(), -1);

    index.onRightClicked(index.visualItemRect(index.pointRow(1)).center());
    QTRY_VERIFY(index.indexMenu()->isVisible());
    QCOMPARE(index.rightClickedPointID(), 1);
    QCOMPARE(index.indexMenu()->actions().last()->text(), QStringLiteral("重新计算阻抗图"));
    index.indexMenu()->hide();

    // The row goes while the id is kept; the id goes with the row.
    QVERIFY(index.addPointData(recording(2, 1, 20, {488})));
    index.expandAll();
    index.onRightClicked(index.visualItemRect(index.pointRow(2)).center());
    QCOMPARE(index.rightClickedPointID(), 2);
    index.indexMenu()->hide();
    QVERIFY(index.removeData(recording(2, 1, 20, {488})));
    QCOMPARE(index.rightClickedPointID(), -1);

    index.onRightClicked(QPoint(5, 290));  // empty space
    QCOMPARE(index.rightClickedPointID(), -1);
    QVERIFY(!index.indexMenu()->isVisible());
}

void TestProjectTree::clearForgetsRows()
{
    Form_Index index;
    QVERIFY(index.openProject(makeProject(m_dir->path(), {pointEntry(1, 1, 10, {61})})));
    index.show();
    QVERIFY(QTest::qWaitForWindowExposed(&index));
    index.expandAll();
    index.onRightClicked(index.visualItemRect(index.pointRow(1)).center());
    QCOMPARE(index.rightClickedPointID(), 1);
    index.indexMenu()->hide();

    // The main window closes a project with the tree's own clear().
    static_cast<QTreeWidget&>(index).clear();
    QVERIFY(!index.pointRow(1));
    QCOMPARE(index.rightClickedPointID(), -1);
}

void TestProjectTree::refusedOpenKeepsTree()
{
    Form_Index index;
    QVERIFY(index.openProject(makeProject(m_dir->path(), {pointEntry(1, 1, 10, {61}), pointEntry(2, 1, 20, {488})})));
    // The second entry is refused only after the first would have added its rows.
    const QString bad = makeProject(m_dir->path(), {pointEntry(8, 5, 10, {61}), pointEntry(8, 5, 20, {61})}, "Bad");
    QVERIFY(!index.openProject(bad));
    QTRY_COMPARE(m_boxes->count(), 1);
    QCOMPARE(m_boxes->last().text, QStringLiteral("工程文件 ID8 有重复，请检查"));
    QCOMPARE(index.topLevelItemCount(), 1);
    QCOMPARE(childTexts(index.topLevelItem(0)), (QStringList{"10", "20"}));
    QVERIFY(!index.pointRow(8));

    // Opening another good project replaces the tree, still in numeric order.
    QVERIFY(index.openProject(makeProject(
        m_dir->path(), {pointEntry(3, 4, 30, {61}), pointEntry(4, 4, 100, {61}), pointEntry(5, 4, 4, {61})},
        "Other")));
    QCOMPARE(index.topLevelItemCount(), 1);
    QCOMPARE(index.topLevelItem(0)->text(0), QStringLiteral("4"));
    QCOMPARE(childTexts(index.topLevelItem(0)), (QStringList{"4", "30", "100"}));
    QVERIFY(!index.pointRow(1));
}

void TestProjectTree::recalculationReachesPointCalculation()
{
    SnackbarCatcher snackbar;
    Form_Index index;
    QVERIFY(index.openProject(makeProject(m_dir->path(), {pointEntry(3, 1, 10, {61})})));
    // A table that an unforced calculation would simply read back.
    QVERIFY(QDir().mkpath(index.projectDir() + "/data"));
    QVERIFY(writeBytes(index.projectDir() + "/data/3.txt",
                       "Key Frequency Coh ApparentResis Phase TrueResis Depth\n0 1 1 1 1 1 1\n"));
    index.show();
    QVERIFY(QTest::qWaitForWindowExposed(&index));
    index.expandAll();
    index.onRightClicked(index.visualItemRect(index.pointRow(3)).center());
    QSignalSpy selected(&index, &Form_Index::signalSelectPoint);
    index.indexMenu()->actions().last()->trigger();
    index.indexMenu()->hide();

    QVERIFY(selected.wait(60000));
    QCOMPARE(selected.first().first().toInt(), 3);
    // Forced: the calculation went past the table and looked for the recordings.
    QVERIFY(snackbar.messages.contains(QStringLiteral("时间序列不存在，请导出后再计算")));
}

void TestProjectTree::recalculationOutlivedByNothing()
{
    const QString path = makeProject(m_dir->path(), {pointEntry(3, 1, 10, {61})});
    int delivered = 0;

    // Gone before the calculation starts.
    auto* index = new Form_Index;
    QVERIFY(index->openProject(path));
    connect(index, &Form_Index::signalSelectPoint, this, [&delivered] { ++delivered; });
    index->reCalcPointImp(3);
    delete index;
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();

    // Gone after the calculation, while its result waits in the event queue.
    index = new Form_Index;
    QVERIFY(index->openProject(path));
    connect(index, &Form_Index::signalSelectPoint, this, [&delivered] { ++delivered; });
    index->reCalcPointImp(3);
    QThreadPool::globalInstance()->waitForDone();
    delete index;
    QCoreApplication::processEvents();
    QCOMPARE(delivered, 0);

    // Without a project nothing starts, not even in the working directory.
    const QString saved = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    touchFiles(m_dir->path() + "/3", {"1_CH1.dat", "1_CH2.dat"});
    SnackbarCatcher snackbar;
    Form_Index empty;
    empty.reCalcPointImp(3);
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    QDir::setCurrent(saved);
    QVERIFY(!QDir(m_dir->path() + "/data").exists());
    QVERIFY(snackbar.messages.isEmpty());
}

QTEST_MAIN(TestProjectTree)
#include "tst_projecttree.moc"
