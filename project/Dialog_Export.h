#pragma once

#include "MyDialog.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QMultiMap>
#include <QString>

#include <cstdint>

class MyComboBox;
class QJsonArray;
class QPushButton;

// Copies recordings from the instrument's storage to the computer: a whole stored
// project when none is open here, otherwise the open project's missing files (all
// points or one line) or one point again in full. The transfers themselves are asked
// for through getProjJson and getFile.
class Dialog_Export : public MyDialog
{
    Q_OBJECT
public:
    Dialog_Export();

    // Drops the twenty sample-rate keys that hold no recorded group (below 1), except
    // that the first stays, as 0: a project file needs it in every entry.
    static QByteArray cleanProjJson(const QByteArray& json);

signals:
    void getProjJson(int64_t projID);
    void getFile(QString remotePath, QString localPath);

public slots:
    void setProj(QString dir, int64_t id, QString projFilePath = QString());
    void setTableJson(QByteArray json);
    void setProjJson(QByteArray json);
    void showUp(bool projIsOpen);
    void selectLine(int index);
    void onExportData();
    void getPointsData(QList<int> list);
    void getPointData(int pointid, int64_t projid, bool isForceGet = false);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct PointInfo
    {
        int point = 0;
        int chSelect = 0;
        int groupCount = 0;
    };

    void onProjectChosen(int index);
    void askProjJson(int64_t id);
    // Fills both maps from a "Data" array; returns the largest point id, at least 1.
    int buildMaps(const QJsonArray& data);
    void clearPoints();
    void exportStoredProject();
    // True when the combo shows id and the information held was asked for it and is about it.
    bool holdsInformationOf(int64_t id) const;
    // The instrument project the files come from: the open project's own id when one is open.
    int64_t sourceProjectID() const;
    bool projectIsOpen() const;

    MyComboBox* m_comboProj = nullptr;
    MyComboBox* m_comboLine = nullptr;
    MyComboBox* m_comboPoint = nullptr;
    QPushButton* m_btnExport = nullptr;

    QString m_dir;
    QString m_projFilePath;
    int64_t m_projID = 0;
    QByteArray m_projJsonData;
    QMap<int, PointInfo> m_pointMap;
    QMultiMap<int, int> m_lineMap;
    // Project whose information was asked for last, 0 once the information is dropped; only
    // that one's may replace the local view or be exported.
    int64_t m_askedProjID = 0;
};
