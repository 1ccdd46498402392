#include "io/pager.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "jet/jet.h"

namespace jet {

Pager::Pager(std::unique_ptr<File> file, const Format& format)
    : file_(std::move(file)), format_(&format) {
    std::uint64_t pages = file_->size() / format.pageSize;
    if (pages > std::numeric_limits<std::uint32_t>::max())
        throw Error("The file '" + file_->name() + "' is too large for an Access database",
                    ErrorKind::NotSupported);
    pageCount_ = static_cast<std::uint32_t>(pages);
    if (file_->mapping())
        mappedPages_ = static_cast<std::uint32_t>(file_->mappedSize() / format.pageSize);
}

ByteView Pager::page(std::uint32_t n) {
    if (n >= pageCount_)
        corrupt("page number " + std::to_string(n) + " is past the end of the file");
    if (recording_) recording_->push_back(n);
    const std::size_t ps = format_->pageSize;
    if (n < heldPages_ || (n < mappedPages_ && (std::uint64_t{n} + 1) * ps <= file_->mappedSize()))
        return ByteView(file_->mapping() + std::uint64_t{n} * ps, ps, n);
    auto it = cache_.find(n);
    if (it == cache_.end()) {
        auto buf = std::make_unique<std::uint8_t[]>(ps);
        file_->read(std::uint64_t{n} * ps, buf.get(), ps);
        it = cache_.emplace(n, std::move(buf)).first;
    }
    return ByteView(it->second.get(), ps, n);
}

Pager::SizeHold::SizeHold(Pager& pager) : pager_(pager), previous_(pager.heldPages_) {
    pager.heldPages_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(
        pager.mappedPages_, pager.file_->mappedSize() / pager.format_->pageSize));
}

Pager::SizeHold::~SizeHold() { pager_.heldPages_ = previous_; }

void Pager::prefetch(std::uint32_t n) const {
    if (n >= mappedPages_) return;
    const std::uint8_t* p = file_->mapping() + std::uint64_t{n} * format_->pageSize;
    for (std::size_t off = 0; off < format_->pageSize; off += 64) __builtin_prefetch(p + off);
}

ByteView Pager::page(std::uint32_t n, std::uint8_t type, const char* what) {
    ByteView p = page(n);
    if (p.u8(0) != type)
        corrupt(std::string(what) + " is not on a page of the expected type", n, 0);
    return p;
}

}  // namespace jet
