#pragma once
// Small AIR files and a definition file written into a temporary folder.
#include "common/AirImage.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace testair {

struct Rec {
    std::uint32_t id;
    QByteArray data;
};

// The records in order, then the trailing bytes.
inline QByteArray image(std::initializer_list<Rec> recs, const QByteArray& trailing = {})
{
    airtest::AirImage img;
    for (const Rec& r : recs)
        img.record(r.id, r.data);
    return img.raw(trailing).bytes<QByteArray>();
}

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

// Record 0x10 "Engine" has three fields; 0x2 is a bool; 0x20 a text.
inline const char* kDefinitions = "[Records]\n"
                                  "10=Engine,record\n"
                                  "10h=Engine limits.|Two lines.\n"
                                  "2=Starter,bool\n"
                                  "20=Type name,text\n"
                                  "30=Thrust table,tbl16\n"
                                  "[10]\n"
                                  "1=0,int16,Idle\n"
                                  "1h=Idle speed\n"
                                  "2=2,bool,Has starter\n"
                                  "3=6,int8,Count\n";

// 0x10 with fields (idle 300, starter on, count 7), bool 00 00 00 01, an
// unknown record with the top bit set.
inline QByteArray sampleImage()
{
    return airtest::AirImage()
            .record(0x10, {0x2c, 0x01, 1, 0, 0, 0, 7}) // 300, true, 7
            .record(0x2, {0, 0, 0, 1})
            .record(0x80000000u, {0xab, 0xcd})
            .bytes<QByteArray>();
}

} // namespace testair
