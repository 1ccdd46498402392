// What every environment shares: the File defaults and path text.
#include "io/env.h"

#include <algorithm>

namespace jet {

File::~File() = default;
HeldLock::~HeldLock() = default;
Env::~Env() = default;

void File::writeGather(std::uint64_t offset, const std::vector<Buffer>& buffers) {
    for (const Buffer& b : buffers) {
        write(offset, b.data, b.size);
        offset += b.size;
    }
}

std::filesystem::path utf8Path(const std::string& path) {
#ifdef _WIN32
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
#else
    return std::filesystem::path(path);
#endif
}

std::string pathText(const std::filesystem::path& path) {
#ifdef _WIN32
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
#else
    return path.string();
#endif
}

std::vector<std::string> plainFilesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(utf8Path(folder), ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code typeEc;
        if (it->is_regular_file(typeEc)) names.push_back(pathText(it->path().filename()));
    }
    return names;
}

std::vector<std::uint8_t> readFile(Env& env, const std::string& path, std::size_t limit) {
    const std::unique_ptr<File> file = env.openFile(path, false);
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(file->size(), limit));
    std::vector<std::uint8_t> bytes(n);
    if (n > 0) file->read(0, bytes.data(), n);
    return bytes;
}

}  // namespace jet
