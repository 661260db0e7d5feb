#pragma once
// A small AIR file and definition file shared by the editor tests.
#include "common/AirImage.h"
#include "common/TempDir.h"
#include "model/CTLDoc.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fixture {

inline const char* kDefinitions = R"ini([Records]
10=Engine,record
10h=Limits of one engine.|They apply to every engine.
11=Misc,record
20=Altitude Limit,int32
21=Max Alt Warning,ang16
30=Title,text
40=Blob,6
50=Flag,bool
60=Curve,tbl16
61=Points,tbldb
62=Grid,tbl3d
[10]
1=0,int16,Idle speed
1h=Idle speed of the engine
2=2,bool,Has starter
3=6,mach,Mach limit
4=a,int8,Small
5=b,ang16,Angle
6=d,prpm,Rpm
7=f,thrust,Thrust
8=13,text,Label
9=1b,4,Reserved
10=40,int16,Beyond
[11]
1=0,int32,Count
2=4,double,Ratio
3=c,aspd,Speed
4=10,fwgt,Weight
5=12,m256,Moment
6=14,16pct,Share
)ini";

// List order: 0 root, 1 Altitude Limit (0x20), 2 Engine (0x10) with fields 3..12,
// 13 Misc (0x11) with fields 14..19, 20 Title (0x30), 21 Blob (0x40),
// 22 Flag (0x50), 23 Max Alt Warning (0x21).
inline std::vector<std::uint8_t> image()
{
    std::vector<std::uint8_t> engine(31, 0);
    engine[0] = 0x34;
    engine[1] = 0x12; // Idle speed 0x1234
    engine[6] = 1; // Mach limit raw 1
    engine[10] = 5; // Small 5
    engine[15] = 100; // Thrust raw 100 -> 1367
    const char* label = "abc";
    for (int k = 0; k < 3; ++k)
        engine[std::size_t(19 + k)] = static_cast<std::uint8_t>(label[k]);
    engine[27] = 0xDE;
    engine[28] = 0xAD;
    engine[29] = 0xBE;
    engine[30] = 0xEF;
    return airtest::AirImage()
            .record(0x20, {0x10, 0x27, 0, 0}) // 10000
            .record(0x10, engine)
            .record(0x11, std::vector<std::uint8_t>(24, 0))
            .record(0x30, {'a', 'b', 'c', 0})
            .record(0x40, {1, 2, 3, 4, 5, 6})
            .record(0x50, {0, 0, 0, 0})
            .record(0x21, {0, 0})
            .bytes();
}

// A temporary folder holding Tarlo.ini; removed with the object.
struct Files {
    airtest::TempDir dir{"edit"};
    Files() { dir.write("Tarlo.ini", kDefinitions); }
    std::string ini() const { return dir.file("Tarlo.ini"); }
    std::string air() const { return dir.file("plane.air"); }
};

inline void load(model::CTLDoc& doc, const Files& files, std::vector<std::uint8_t> img = image())
{
    doc.setDefinitionsPath(files.ini());
    doc.loadImage(std::move(img), files.air());
}

} // namespace fixture
