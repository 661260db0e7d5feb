#include "SampleFiles.h"

#include <cmath>
#include <cstring>
#include <string_view>

namespace samples {

namespace {

using Bytes = std::vector<std::uint8_t>;

// Little-endian builder of one record's data.
class Data {
public:
    Data& u8(std::uint8_t v)
    {
        b_.push_back(v);
        return *this;
    }
    Data& i16(std::int16_t v) { return le(std::uint16_t(v), 2); }
    Data& u16(std::uint16_t v) { return le(v, 2); }
    Data& i32(std::int32_t v) { return le(std::uint32_t(v), 4); }
    Data& u32(std::uint32_t v) { return le(v, 4); }
    Data& f64(double v)
    {
        std::uint64_t u;
        std::memcpy(&u, &v, 8);
        return le(u, 8);
    }
    Data& text(std::string_view s, bool terminate = true)
    {
        b_.insert(b_.end(), s.begin(), s.end());
        if (terminate)
            b_.push_back(0);
        return *this;
    }
    Data& zeros(std::size_t n)
    {
        b_.insert(b_.end(), n, 0);
        return *this;
    }
    Bytes bytes() const { return b_; }

private:
    Data& le(std::uint64_t v, int n)
    {
        for (int i = 0; i < n; ++i)
            b_.push_back(std::uint8_t(v >> (8 * i)));
        return *this;
    }
    Bytes b_;
};

class Image {
public:
    Image& record(std::uint32_t id, const Data& d) { return raw(id, d.bytes()); }
    Image& raw(std::uint32_t id, const Bytes& d)
    {
        header(id, std::uint32_t(d.size()));
        b_.insert(b_.end(), d.begin(), d.end());
        return *this;
    }
    Image& header(std::uint32_t id, std::uint32_t len)
    {
        for (std::uint32_t v : {id, len})
            for (int i = 0; i < 4; ++i)
                b_.push_back(std::uint8_t(v >> (8 * i)));
        return *this;
    }
    Image& bytes(const Bytes& d)
    {
        b_.insert(b_.end(), d.begin(), d.end());
        return *this;
    }
    Bytes take() { return std::move(b_); }

private:
    Bytes b_;
};

// Values are built from exact binary fractions so that every platform writes
// and prints the same digits.
Data pointTable(int n, double x0, double dx, double y0, double dy)
{
    Data d;
    d.i32(n);
    for (int i = 0; i < n; ++i)
        d.f64(x0 + dx * i).f64(y0 + dy * i * i / 8.0);
    return d;
}

Data int16List(int n, int start, int step)
{
    Data d;
    for (int i = 0; i < n; ++i)
        d.u16(std::uint16_t(start + step * i));
    return d;
}

Data grid(std::uint32_t groups, std::uint32_t values, double base)
{
    Data d;
    d.u32(groups).u32(values);
    for (std::uint32_t g = 0; g < groups; ++g)
        for (std::uint32_t k = 0; k < values; ++k)
            d.f64(base + g * 0.5 + k * 0.125);
    return d;
}

Data engine(std::string_view model, double power, std::int16_t idle)
{
    return Data()
        .f64(power)
        .i32(128 * 76 + 64)     // aspd 76.5 knots
        .i16(idle)              // 16pct
        .i16((2700 - 1400) * 4) // prpm 2700
        .i32(100)               // int32 fuel type
        .u32(1)                 // bool
        .text(model);
}

// Record 0x1199: a zero mark, then a revision text one character every 8 bytes.
Data revisionRecord(std::string_view text)
{
    Bytes b(808, 0);
    for (std::size_t i = 0; i < text.size() && 8 * (9 + i) < b.size(); ++i)
        b[8 * (9 + i)] = std::uint8_t(text[i]);
    Data d;
    for (std::uint8_t c : b)
        d.u8(c);
    return d;
}

} // namespace

Bytes makeSample()
{
    Image img;
    img.record(0x1f5, Data().text("Tarlo Trainer T2"));
    img.record(0x1f4, Data().i16(700).u32(1).f64(912.5).u32(0));
    img.record(0x200, Data()
                          .u32(1)               // bool
                          .u8(2)                // int8
                          .u8(0xFF)             // int8 -1
                          .i16(3)               // int16
                          .i32(2450)            // int32
                          .f64(35.75)           // double
                          .i16((2400 - 1400) * 4) // prpm 2400
                          .i16(2 * 182)         // ang16 2 degrees
                          .i32(15360)           // mach 0.75
                          .i32(160 * 128)       // aspd 160
                          .i16(64)              // fwgt 0.25
                          .i16(-650)            // m256
                          .i32(-37)             // thrust
                          .i16(-8192)           // 16pct -50
                          .zeros(6));
    img.record(0x201, engine("Model 6-290", 180.0, 4096));
    img.record(0x202, engine("Model 6-290R", 180.0, 4096));
    img.record(0x101, Data().u32(1));
    img.record(0x102, Data().u8(2));
    img.record(0x103, Data().i16(4));
    img.record(0x104, Data().i32(1675));
    img.record(0x105, Data().f64(174.5));
    img.record(0x106, Data().text("Kite & Co.|Works 3"));
    img.record(0x107, Data().i16((2600 - 1400) * 4));
    img.record(0x108, Data().i16(30 * 182));
    img.record(0x109, Data().i32(14336));
    img.record(0x10a, Data().i32(124 * 128 + 32));
    img.record(0x10b, int16List(9, 0, 4000));
    img.record(0x10c, pointTable(8, -4.0, 2.0, 0.0, 0.25));
    img.record(0x10d, Data().i16(77));
    img.record(0x10e, Data().i16(1300));
    img.record(0x10f, Data().i32(183));
    img.record(0x110, Data().i16(4915));
    img.record(0x111, grid(3, 4, 1.0));
    img.record(0x112, Data().u32(0xDEADBEEF).u32(0).u32(0x01020304).u32(0xFFFFFFFF));
    img.record(0x2ff, Data().u16(5).u32(0).u32(0).u32(0x11111111).u32(0x22222222).i16(-2));
    img.record(0x404, pointTable(20, 0.0, 0.0625, 10.0, 1.0));
    img.record(0x1199, revisionRecord("Sample revision 1"));
    img.record(0x410, int16List(12, 100, 50));
    img.record(0x341, pointTable(5, 0.0, 1000.0, 1.0, -0.0625));
    img.record(0x511, grid(4, 5, -2.0));
    img.record(0x1502, grid(3, 3, 0.0));
    img.record(0x1505, pointTable(6, -30.0, 12.0, 0.0, 0.5));
    img.record(0x601, int16List(4, 65500, 10)); // wraps: unsigned 16-bit values
    img.record(0x410, int16List(3, 7, 7));      // a second record with the same id
    img.record(0x9999, Data().u32(0x0BADF00D).u8(7));
    img.record(0x80000000u, Data().text("top bit", false));
    img.record(0x20, Data());
    return img.take();
}

Bytes makeOddities()
{
    Image img;
    img.record(0, Data().u8(1).u8(2).u8(3));       // zero id
    img.record(0x103, Data());                     // int16 record without bytes
    img.record(0x106, Data().text("Tab\there\r\nback\\slash\x01\x7f caf\xE9 \xFF"));
    img.record(0x1f5, Data().text("no terminator", false));
    img.record(0x1f4, Data().i16(-1).u16(0));      // 4 bytes: most fields lie outside
    img.record(0x1f4, Data().i16(900).u32(0x00000100).f64(-0.0).u32(0));
    img.record(0x10b, Data().u16(1).u16(2).u16(3).u8(9)); // odd length: 3 values
    img.record(0x10c, Data().u32(200).f64(1.0).f64(2.0)); // count claims 200 points
    img.record(0x111, Data().u32(0xFFFFFFFF).u32(0xFFFFFFFF)); // counts claim 2^64 cells
    img.record(0x201, Data().zeros(24));           // text field at the very end: outside
    img.record(0x2ff, Data().zeros(22));
    img.record(0x1f5, Data());                     // zero length, then the walk goes on
    img.record(0x105, Data().f64(-1e300));
    img.record(0x10f, Data().i32(2147483647));     // thrust beyond 32 bits
    img.header(0x555, 100).bytes(Bytes(10, 0xAB)); // length past the end
    return img.take();
}

std::vector<SampleFile> allSamples()
{
    return {
        {"sample.air", makeSample()},
        {"oddities.air", makeOddities()},
        {"empty.air", {}},
    };
}

} // namespace samples
