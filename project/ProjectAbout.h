#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <type_traits>

// Length of one text field of the project record, terminating zero included.
constexpr int ProjectAboutFieldSize = 32;

// The open project's "About" record. Sent to the instrument as the ConfigProj payload
// exactly as it lies in memory: 136 little-endian bytes, fields back to back.
struct st_ProjectAbout
{
    qint64 ProjectID;
    char ProjectName[ProjectAboutFieldSize];     // UTF-8, zero-terminated
    char ProjectAddress[ProjectAboutFieldSize];
    char OperatorName[ProjectAboutFieldSize];
    char AppBuild[ProjectAboutFieldSize];        // "yyMMdd"
};

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "the project record is sent as it lies in memory");
static_assert(std::is_trivially_copyable<st_ProjectAbout>::value && std::is_standard_layout<st_ProjectAbout>::value,
              "the project record is copied byte for byte");
static_assert(sizeof(st_ProjectAbout) == 136, "st_ProjectAbout is 136 bytes");
static_assert(offsetof(st_ProjectAbout, ProjectName) == 8 && offsetof(st_ProjectAbout, ProjectAddress) == 40
              && offsetof(st_ProjectAbout, OperatorName) == 72 && offsetof(st_ProjectAbout, AppBuild) == 104,
              "st_ProjectAbout layout");

// The record before any project is opened: id 0, the four texts "null".
st_ProjectAbout defaultProjectAbout();

// At most 31 bytes of the text's UTF-8 (cut at byte 31, also inside a character), then
// one zero. Bytes behind the zero keep what the field held.
void toCharField(char (&field)[ProjectAboutFieldSize], const QString& text);
// The field's text up to its first zero byte.
QString charFieldText(const char (&field)[ProjectAboutFieldSize]);

// Fills id and texts from a project file's "About" object; record keeps the rest.
void fillProjectAbout(st_ProjectAbout& record, const QJsonObject& about);

QByteArray projectAboutToBytes(const st_ProjectAbout& record);
