// The Pager: the pages of a database file (env.h) by number.
//
// Views returned by Pager::page() point into the file's memory image or the
// pager's cache and stay valid until the pager is told that the file
// changed (the writer's concern; the reader never invalidates them).
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "format/bytes.h"
#include "format/format.h"
#include "io/env.h"

namespace jet {

// Page access by number. Every page number is checked against the file
// size; a page that is not in the memory image is read once and cached.
class Pager {
  public:
    Pager(std::unique_ptr<File> file, const Format& format);
    Pager(const Pager&) = delete;
    Pager& operator=(const Pager&) = delete;

    const Format& format() const { return *format_; }
    std::uint32_t pageCount() const { return pageCount_; }
    File& file() { return *file_; }

    // The whole page n; Corrupt when n is past the end of the file.
    ByteView page(std::uint32_t n);
    // The page, after checking its type byte; `what` names the structure
    // for the error message.
    ByteView page(std::uint32_t n, std::uint8_t type, const char* what);
    // A hint that page n will be read soon (no effect on pages not mapped).
    void prefetch(std::uint32_t n) const;
    // While `out` is set, every page number asked for is appended to it:
    // what a structure was built from, so that it can be checked later.
    void recordReads(std::vector<std::uint32_t>* out) { recording_ = out; }
    // Whether pages come from the file's shared memory image (and so always
    // show its current bytes) rather than from copies cached at first read.
    bool mapsWholeFile() const { return mappedPages_ >= pageCount_; }

    // Normally every read of a mapped page first asks the system for the
    // file's size: another program may have cut the file short, and touching
    // a mapped page past its end would kill the process. While the caller
    // holds the write lock no writer of this engine can shorten the file, so
    // a statement's many reads skip that question (the size is checked once
    // when the hold starts).
    class SizeHold {
      public:
        explicit SizeHold(Pager& pager);
        ~SizeHold();
        SizeHold(const SizeHold&) = delete;
        SizeHold& operator=(const SizeHold&) = delete;

      private:
        Pager& pager_;
        std::uint32_t previous_;
    };

  private:
    std::unique_ptr<File> file_;
    const Format* format_;
    std::uint32_t pageCount_ = 0;
    std::uint32_t mappedPages_ = 0;
    std::uint32_t heldPages_ = 0;  // mapped pages known to be backed (SizeHold)
    std::vector<std::uint32_t>* recording_ = nullptr;
    std::unordered_map<std::uint32_t, std::unique_ptr<std::uint8_t[]>> cache_;
};

}  // namespace jet
