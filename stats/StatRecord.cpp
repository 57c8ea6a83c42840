#include "StatRecord.h"

namespace zel {

namespace {
constexpr std::size_t StampAt = 0;
constexpr std::size_t TrafficAt = 8;
constexpr std::size_t PageSizeAt = 12;
constexpr std::size_t WebPageAt = 16;
} // namespace

RecordBytes<StatRecord::Size> StatRecord::toBytes() const {
    RecordBytes<Size> bytes;
    bytes.setDouble(StampAt, Stamp);
    bytes.setInt32(TrafficAt, Traffic);
    bytes.setInt32(PageSizeAt, PageSize);
    bytes.setShortString(WebPageAt, WebPageCapacity, WebPage);
    return bytes;
}

StatRecord StatRecord::fromBytes(const RecordBytes<Size>& bytes) {
    StatRecord record;
    record.Stamp = bytes.doubleAt(StampAt);
    record.Traffic = bytes.int32At(TrafficAt);
    record.PageSize = bytes.int32At(PageSizeAt);
    record.WebPage = bytes.shortStringAt(WebPageAt, WebPageCapacity);
    return record;
}

} // namespace zel
