#include "browser/RecordClipboard.h"

#include "base/Bytes.h"

#include <QByteArray>
#include <QClipboard>
#include <QMimeData>
#include <QString>

namespace browser {

std::vector<std::uint8_t> encodeRecordBlock(std::uint32_t id, std::span<const std::uint8_t> data)
{
    std::vector<std::uint8_t> block(data.size() + 8, 0);
    base::bytes::writeLE<std::uint32_t>(block, 0, id);
    base::bytes::writeLE<std::uint32_t>(block, 4, static_cast<std::uint32_t>(data.size()));
    std::copy(data.begin(), data.end(), block.begin() + 8);
    return block;
}

std::optional<ClipRecord> decodeRecordBlock(std::span<const std::uint8_t> block)
{
    if (block.size() < 8)
        return std::nullopt;
    const std::uint32_t len = *base::bytes::u32(block, 4);
    if (len > block.size() - 8)
        return std::nullopt;
    ClipRecord r;
    r.id = *base::bytes::u32(block, 0);
    r.data.assign(block.begin() + 8, block.begin() + 8 + len);
    return r;
}

QString recordMimeType()
{
#ifdef Q_OS_WIN
    // Qt registers this with the system clipboard under the name in quotes.
    return QStringLiteral("application/x-qt-windows-mime;value=\"Tarlo Record\"");
#else
    return QStringLiteral("application/x-tarlo-record");
#endif
}

void putRecordOnClipboard(QClipboard* clipboard, std::uint32_t id, std::span<const std::uint8_t> data)
{
    if (!clipboard)
        return;
    const auto block = encodeRecordBlock(id, data);
    auto* mime = new QMimeData;
    mime->setData(recordMimeType(),
            QByteArray(reinterpret_cast<const char*>(block.data()), static_cast<qsizetype>(block.size())));
    clipboard->setMimeData(mime); // the clipboard owns it from here on
}

std::optional<ClipRecord> recordFromMimeData(const QMimeData* mime)
{
    if (!mime || !mime->hasFormat(recordMimeType()))
        return std::nullopt;
    const QByteArray bytes = mime->data(recordMimeType());
    return decodeRecordBlock(
            std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                    static_cast<std::size_t>(bytes.size())));
}

std::optional<ClipRecord> recordFromClipboard(const QClipboard* clipboard)
{
    return clipboard ? recordFromMimeData(clipboard->mimeData()) : std::nullopt;
}

} // namespace browser
