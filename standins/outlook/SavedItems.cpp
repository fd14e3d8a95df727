#include "SavedItems.h"

#include <utility>

namespace qs::standin {

namespace {
std::vector<std::wstring> saved;
}

void NoteSaved(const std::wstring& subject) {
    saved.push_back(subject);
}

std::vector<std::wstring> TakeSaved() noexcept {
    return std::exchange(saved, {});
}

} // namespace qs::standin
