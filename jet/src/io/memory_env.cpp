#include "io/memory_env.h"

#include <algorithm>
#include <cstring>

#include "format/bytes.h"
#include "jet/jet.h"

namespace jet {

MemoryFile::MemoryFile(std::vector<std::uint8_t> bytes, std::string name)
    : File(std::move(name)), bytes_(std::move(bytes)) {}

void MemoryFile::read(std::uint64_t offset, std::uint8_t* dst, std::size_t n) {
    if (offset > bytes_.size() || n > bytes_.size() - offset)
        corrupt("read past the end of the file");
    if (n > 0) std::memcpy(dst, bytes_.data() + offset, n);
}

void MemoryFile::write(std::uint64_t offset, const std::uint8_t* src, std::size_t n) {
    if (offset + n > bytes_.size()) bytes_.resize(offset + n);
    if (n > 0) std::memcpy(bytes_.data() + offset, src, n);
}

namespace {

// Paths as map keys: one separator, so that a path the engine put together
// on Windows with backslashes names the same file as with slashes.
std::string key(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

// A handle on a file of a MemoryEnv. No memory image: another handle may
// grow the bytes, which moves them; pages go through the pager's cache.
class MemoryEnvFile : public File {
  public:
    MemoryEnvFile(MemoryEnv& env, std::string path, std::shared_ptr<MemoryEnv::Node> node,
                  bool writable)
        : File(std::move(path)), env_(env), node_(std::move(node)), writable_(writable) {}

    std::uint64_t size() const override {
        std::lock_guard<std::recursive_mutex> hold(env_.mutex_);
        return node_->bytes.size();
    }
    void read(std::uint64_t offset, std::uint8_t* dst, std::size_t n) override {
        std::lock_guard<std::recursive_mutex> hold(env_.mutex_);
        env_.alive();
        const auto& bytes = node_->bytes;
        if (offset > bytes.size() || n > bytes.size() - offset)
            corrupt("read past the end of the file");
        if (n > 0) std::memcpy(dst, bytes.data() + offset, n);
    }
    void write(std::uint64_t offset, const std::uint8_t* src, std::size_t n) override {
        std::lock_guard<std::recursive_mutex> hold(env_.mutex_);
        checkWritable();
        env_.change();
        auto& bytes = node_->bytes;
        if (offset + n > bytes.size()) bytes.resize(offset + n);
        if (n > 0) std::memcpy(bytes.data() + offset, src, n);
        ++node_->version;
    }
    void truncate(std::uint64_t length) override {
        std::lock_guard<std::recursive_mutex> hold(env_.mutex_);
        checkWritable();
        env_.change();
        node_->bytes.resize(length);
        ++node_->version;
    }
    void sync() override {
        std::lock_guard<std::recursive_mutex> hold(env_.mutex_);
        env_.change();
        node_->synced = node_->bytes;
    }
    bool writable() const override { return writable_; }

  private:
    void checkWritable() const {
        if (!writable_)
            throw Error("The database '" + name() + "' is read-only: it cannot be changed",
                        ErrorKind::ReadOnly);
    }
    MemoryEnv& env_;
    std::shared_ptr<MemoryEnv::Node> node_;
    bool writable_;
};

class MemoryEnvLock : public HeldLock {
  public:
    MemoryEnvLock(MemoryEnv& env, std::string path, long generation)
        : env_(env), path_(std::move(path)), generation_(generation) {}
    ~MemoryEnvLock() override {
        std::lock_guard<std::recursive_mutex> hold(env_.mutex_);
        auto it = env_.writeLocks_.find(path_);
        if (it != env_.writeLocks_.end() && it->second == generation_) env_.writeLocks_.erase(it);
    }

  private:
    MemoryEnv& env_;
    std::string path_;
    long generation_;
};

MemoryEnv::MemoryEnv() = default;
MemoryEnv::~MemoryEnv() = default;

void MemoryEnv::putFile(const std::string& rawPath, std::vector<std::uint8_t> bytes) {
    const std::string path = key(rawPath);
    std::lock_guard<std::recursive_mutex> hold(mutex_);
    auto node = std::make_shared<Node>();
    node->synced = bytes;
    node->bytes = std::move(bytes);
    entries_[path] = Entry{node, node};
}

std::vector<std::uint8_t> MemoryEnv::fileBytes(const std::string& rawPath) const {
    const std::string path = key(rawPath);
    std::lock_guard<std::recursive_mutex> hold(mutex_);
    auto it = entries_.find(path);
    if (it == entries_.end() || !it->second.now)
        throw Error("The file '" + path + "' does not exist", ErrorKind::NotFound);
    return it->second.now->bytes;
}

bool MemoryEnv::hasFile(const std::string& rawPath) const {
    const std::string path = key(rawPath);
    std::lock_guard<std::recursive_mutex> hold(mutex_);
    auto it = entries_.find(path);
    return it != entries_.end() && it->second.now;
}

void MemoryEnv::lockRange(const std::string& rawPath, std::uint64_t offset, std::uint64_t length) {
    const std::string path = key(rawPath);
    std::lock_guard<std::recursive_mutex> hold(mutex_);
    ranges_[path].push_back(Range{offset, length});
}

void MemoryEnv::unlockRanges(const std::string& rawPath) {
    const std::string path = key(rawPath);
    std::lock_guard<std::recursive_mutex> hold(mutex_);
    ranges_.erase(path);
}

long MemoryEnv::changes() const {
    std::lock_guard<std::recursive_mutex> hold(mutex_);
    return changes_;
}

void MemoryEnv::crashAfter(long n) {
    std::lock_guard<std::recursive_mutex> hold(mutex_);
    crashAt_ = n < 0 ? -1 : changes_ + n;
}

bool MemoryEnv::crashed() const {
    std::lock_guard<std::recursive_mutex> hold(mutex_);
    return crashed_;
}

void MemoryEnv::change() {
    alive();
    if (crashAt_ >= 0 && changes_ >= crashAt_) {
        crashed_ = true;
        throw SimulatedCrash();
    }
    ++changes_;
}

void MemoryEnv::alive() const {
    if (crashed_) throw SimulatedCrash();
}

void MemoryEnv::restartAfterProcessCrash() {
    restart([](const std::string&) { return true; });
}

void MemoryEnv::restartAfterPowerCut(const std::function<bool(const std::string&)>& keepsUnsynced) {
    restart(keepsUnsynced ? keepsUnsynced : [](const std::string&) { return false; });
}

void MemoryEnv::restart(const std::function<bool(const std::string&)>& keepsUnsynced) {
    std::lock_guard<std::recursive_mutex> hold(mutex_);
    for (auto it = entries_.begin(); it != entries_.end();) {
        Entry& e = it->second;
        if (!keepsUnsynced(it->first)) {
            e.now = e.durable;
            if (e.now) e.now->bytes = e.now->synced;
        }
        // What the restarted system finds is on disk.
        e.durable = e.now;
        if (e.now) e.now->synced = e.now->bytes;
        it = e.now ? std::next(it) : entries_.erase(it);
    }
    writeLocks_.clear();
    ++generation_;
    crashAt_ = -1;
    crashed_ = false;
}

std::unique_ptr<File> MemoryEnv::openFile(const std::string& rawPath, bool writable) {
    const std::string path = key(rawPath);
    std::lock_guard<std::recursive_mutex> hold(mutex_);
    alive();
    auto it = entries_.find(path);
    if (it == entries_.end() || !it->second.now) {
        if (fileInfo(path))
            throw Error("'" + path + "' is a folder, not a database file", ErrorKind::Io);
        throw Error("The file '" + path + "' does not exist", ErrorKind::NotFound);
    }
    return std::make_unique<MemoryEnvFile>(*this, path, it->second.now, writable);
}

std::unique_ptr<File> MemoryEnv::createFile(const std::string& rawPath) {
    const std::string path = key(rawPath);
    std::lock_guard<std::recursive_mutex> hold(mutex_);
    change();
    Entry& e = entries_[path];
    if (e.now) {
        e.now->bytes.clear();  // emptied, as O_TRUNC does: the same file
        ++e.now->version;
    } else {
        e.now = std::make_shared<Node>();
    }
    return std::make_unique<MemoryEnvFile>(*this, path, e.now, true);
}

std::optional<FileInfo> MemoryEnv::fileInfo(const std::string& rawPath) {
    const std::string path = key(rawPath);
    std::lock_guard<std::recursive_mutex> hold(mutex_);
    alive();
    auto it = entries_.find(path);
    if (it != entries_.end() && it->second.now) {
        FileInfo info;
        info.regular = true;
        info.size = it->second.now->bytes.size();
        info.modified = it->second.now->version;
        return info;
    }
    for (const auto& [name, entry] : entries_)
        if (entry.now && folderOf(name) == path) {
            FileInfo folder;
            folder.folder = true;
            return folder;
        }
    return std::nullopt;
}

void MemoryEnv::removeFile(const std::string& rawPath) {
    const std::string path = key(rawPath);
    std::lock_guard<std::recursive_mutex> hold(mutex_);
    change();
    auto it = entries_.find(path);
    if (it != entries_.end()) it->second.now = nullptr;
}

void MemoryEnv::syncFolder(const std::string& rawPath) {
    const std::string path = key(rawPath);
    std::lock_guard<std::recursive_mutex> hold(mutex_);
    change();
    const std::string folder = folderOf(path);
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (folderOf(it->first) == folder) it->second.durable = it->second.now;
        it = it->second.now || it->second.durable ? std::next(it) : entries_.erase(it);
    }
}

std::unique_ptr<HeldLock> MemoryEnv::tryLockWrites(const std::string& rawPath) {
    const std::string path = key(rawPath);
    std::lock_guard<std::recursive_mutex> hold(mutex_);
    alive();
    if (!hasFile(path)) throw Error("The file '" + path + "' does not exist", ErrorKind::NotFound);
    if (writeLocks_.count(path)) return nullptr;
    writeLocks_[path] = generation_;
    return std::make_unique<MemoryEnvLock>(*this, path, generation_);
}

bool MemoryEnv::rangeLocked(const std::string& rawPath, std::uint64_t offset,
                            std::uint64_t length) {
    const std::string path = key(rawPath);
    std::lock_guard<std::recursive_mutex> hold(mutex_);
    alive();
    if (!hasFile(path)) throw Error("The file '" + path + "' does not exist", ErrorKind::NotFound);
    auto it = ranges_.find(path);
    if (it == ranges_.end()) return false;
    for (const Range& r : it->second)
        if (r.offset < offset + length && offset < r.offset + r.length) return true;
    return false;
}

std::vector<std::string> MemoryEnv::folderEntries(const std::string& folder) {
    std::lock_guard<std::recursive_mutex> hold(mutex_);
    alive();
    std::vector<std::string> names;
    const std::string wanted = key(folder);
    for (const auto& [name, entry] : entries_)
        if (entry.now && folderOf(name) == wanted) names.push_back(nameOf(name));
    return names;
}

}  // namespace jet
