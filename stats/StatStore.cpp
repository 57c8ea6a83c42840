#include "StatStore.h"

#include "RecordFile.h"
#include "Utf8.h"

namespace zel {

namespace {
constexpr std::size_t KeptAddressLength = 100;

} // namespace

std::string StatWebPageText(const std::string& address) {
    if (address.size() <= KeptAddressLength)
        return address;
    return CutUtf8(address, KeptAddressLength) + "...";
}

void AppendStatRecord(std::int32_t traffic, std::int32_t pageSize, const std::string& address) {
    RecordFile file(StatFileName, StatRecord::Size);
    file.reset(RecordFile::Access::ReadWrite);
    file.seek(file.size());
    StatRecord record;
    record.Stamp = Now();
    record.Traffic = traffic;
    record.PageSize = pageSize;
    record.WebPage = StatWebPageText(address);
    file.write(record.toBytes().data());
    file.close();
}

void ForEachStatRecord(const std::function<void(const StatRecord&)>& visit) {
    RecordFile file(StatFileName, StatRecord::Size);
    file.reset(RecordFile::Access::ReadOnly);
    const std::int64_t count = file.size();
    for (std::int64_t i = 0; i < count; ++i) {
        RecordBytes<StatRecord::Size> bytes;
        file.read(bytes.data());
        visit(StatRecord::fromBytes(bytes));
    }
    file.close();
}

void ClearStatFile() {
    RecordFile file(StatFileName, StatRecord::Size);
    file.rewrite();
    file.close();
}

} // namespace zel
