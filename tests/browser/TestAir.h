#pragma once
// Small AIR files and a definition file written into a temporary folder.

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

inline void putU32(QByteArray& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) out.append(char((v >> (8 * i)) & 0xff));
}

inline QByteArray image(std::initializer_list<Rec> recs, const QByteArray& trailing = {})
{
    QByteArray out;
    for (const Rec& r : recs) {
        putU32(out, r.id);
        putU32(out, std::uint32_t(r.data.size()));
        out.append(r.data);
    }
    out.append(trailing);
    return out;
}

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return f.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

// Record 0x10 "Engine" has three fields; 0x2 is a bool; 0x20 a text.
inline const char* kDefinitions =
    "[Records]\n"
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
    QByteArray engine;
    engine.append(char(0x2c)).append(char(0x01));             // 300
    engine.append(char(1)).append(3, char(0));                 // true
    engine.append(char(7));                                     // 7
    return image({{0x10, engine},
                  {0x2, QByteArray::fromHex("00000001")},
                  {0x80000000u, QByteArray::fromHex("abcd")}});
}

} // namespace testair
