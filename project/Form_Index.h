#pragma once

#include "PointParam.h"
#include "ProjectAbout.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTreeWidget>
#include <QVector>

#include <atomic>
#include <memory>

class QFile;
class QMenu;
class QAction;

// The project page: the tree of the open project's lines, points and recorded groups.
// It is also the only owner of the open project file; every read and write of it goes
// through here, on the GUI thread.
class Form_Index : public QTreeWidget
{
    Q_OBJECT

public:
    // Meaning of the hidden columns of point and rate rows.
    enum Column { ColumnText = 0, ColumnKind = 1, ColumnPointID = 2 };

    explicit Form_Index(QWidget* parent = nullptr);
    ~Form_Index() override;

    // Opens, checks and loads a project; a refusal is shown in a box and changes nothing.
    bool openProject(const QString& path);
    QString projectFilePath() const { return m_projectFilePath; }
    // Folder holding the project file; empty when no project path is set.
    QString projectDir() const;

    st_ProjectAbout getProjectAbout() const { return m_about; }
    // Line and point of the newest point.
    QPair<int, int> getLastLinePoint() const { return qMakePair(m_lastLine, m_lastPoint); }
    // The ID a new point gets; 0 when the project's IDs have reached the largest int
    // (the operator is told): no point can be added then.
    int getNextPointID() const;

    st_PointParam readPointParam(const QJsonArray& data, int id) const;

    // Records a started recording in the project file; true when it was written.
    // firstGroup (if given) gets the point's group number of the recording's group 1
    // once the point's entry has been read, also when the write fails afterwards.
    // A recording that could not be written keeps its point ID from new points while
    // the program runs: its files stay in the point's folder.
    bool addPointData(const st_PointParam& param, int* firstGroup = nullptr);
    // True when a recording of this point could not be written to the open project.
    bool hasUnrecordedRun(int pointID) const;
    // Undoes what the matching successful addPointData of this point created, nothing
    // more; true when something was removed and written. With filesLeft the recording's
    // files (or the point's folder) are listed there for the caller to delete later,
    // when nothing reads them any more, instead of being deleted now.
    bool removeData(const st_PointParam& param, QStringList* filesLeft = nullptr);
    void removePreSampleDir();

    // The safe write of the project file: closes file and replaces it as a whole.
    static bool writeProjectFile(QFile& file, const QJsonObject& object);

    // Row operations.
    QTreeWidgetItem* lineRow(int line);
    QTreeWidgetItem* addPointRows(int line, int point, int pointID, int chSelect, int chMatch,
                                  const QVector<int>& rates);
    // Rate rows for further groups of a recorded point; groups[i] is the group number of rates[i].
    void addRateRows(QTreeWidgetItem* pointRow, int chSelect, int chMatch, const QVector<int>& groups,
                     const QVector<int>& rates);
    QTreeWidgetItem* pointRow(int pointID) const { return m_pointRows.value(pointID, nullptr); }
    // Point id of the last right-clicked point row, -1 when none.
    int rightClickedPointID() const { return m_rightClickedPointID; }
    QMenu* indexMenu() const { return m_menu; }

signals:
    void signalSelectPoint(int pointID);
    void signalSelectRate(int pointID, int chSelect, int chMatch, int group);

public slots:
    void pointIDPlus1();
    int findLastPointID(int lineNum, int pointNum);
    st_PointParam getPointParam(int id);
    // Text copies of the last right-clicked point's channel files, on the thread pool.
    void genPointDataFile();
    void reCalcPointImp(int pointID);
    void onRightClicked(const QPoint& pos);

private slots:
    void onItemClicked(QTreeWidgetItem* item, int column);

private:
    // What one successful addPointData created, so that removeData undoes exactly that.
    struct AddedRecording
    {
        bool written = false;  // false: the addition failed and created nothing
        bool newPoint = false;
        QVector<int> groups;  // rate keys written
        QVector<int> rates;   // their values
        QVector<QJsonValue> previous;  // what each key held before (undefined: absent)
    };

    void createIndexMenu();
    void forgetRows();
    QTreeWidgetItem* newRateRow(int pointID, int chSelect, int chMatch, int group, int rate) const;
    void removePointRow(int pointID);
    void deleteGroupFiles(const QString& pointDir, int group, QStringList* filesLeft) const;
    // The next point ID: fromFile, or above every ID whose recording could not be written.
    qint64 firstFreePointID(qint64 fromFile) const;

    QString m_projectFilePath;
    st_ProjectAbout m_about;
    int m_lastLine = 0;
    int m_lastPoint = 0;
    // 64 bits: one past the largest int means that no ID is left.
    qint64 m_nextPointID = 1;

    QMenu* m_menu = nullptr;
    QAction* m_exportAction = nullptr;
    QAction* m_reCalcAction = nullptr;
    int m_rightClickedPointID = -1;
    QMap<int, QTreeWidgetItem*> m_pointRows;
    QMap<int, QVector<AddedRecording>> m_added;  // by point id, latest last
    // Point IDs of recordings whose addition failed, by absolute project file path.
    QMap<QString, QSet<int>> m_unrecorded;
    // Cleared when the widget goes; a recalculation still queued then does not start.
    std::shared_ptr<std::atomic_bool> m_alive = std::make_shared<std::atomic_bool>(true);
};
