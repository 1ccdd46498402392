#include "format/bytes.h"

namespace jet {

void corrupt(const std::string& where, std::int64_t page, std::int64_t offset) {
    std::string msg = "The database file is damaged: " + where;
    if (page >= 0) msg += " (page " + std::to_string(page);
    if (page >= 0 && offset >= 0) msg += ", offset " + std::to_string(offset);
    if (page >= 0) msg += ")";
    throw Error(msg, ErrorKind::Corrupt);
}

}  // namespace jet
