#include "TExStringList.h"

namespace zel {

std::string TExStringList::HeaderName(const std::string& line) {
    std::size_t colon = line.find(':');
    return colon == std::string::npos ? std::string() : line.substr(0, colon);
}

int TExStringList::IndexOfHeader(const std::string& name) const {
    if (!Sorted()) {
        for (std::size_t i = 0; i < Count(); ++i) {
            const std::string& line = (*this)[i];
            if (line.find(':') != std::string::npos && CompareText(HeaderName(line), name) == 0)
                return static_cast<int>(i);
        }
        return -1;
    }
    int low = 0;
    int high = static_cast<int>(Count()) - 1;
    while (low <= high) {
        int middle = low + (high - low) / 2;
        int order = CompareText(HeaderName((*this)[static_cast<std::size_t>(middle)]), name);
        if (order == 0)
            return middle;
        if (order < 0)
            low = middle + 1;
        else
            high = middle - 1;
    }
    return -1;
}

void TExStringList::SetHeader(const std::string& name, const std::string& value) {
    int index = IndexOfHeader(name);
    if (value.empty()) {
        if (index >= 0)
            Delete(static_cast<std::size_t>(index));
        return;
    }
    RequireUnsorted();
    std::string line = name + ": " + value;
    if (index >= 0)
        Put(static_cast<std::size_t>(index), line);
    else
        Add(line);
}

} // namespace zel
