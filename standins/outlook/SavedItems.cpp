#include "SavedItems.h"

#include <utility>

namespace qs::standin {

namespace {
std::vector<std::wstring> saved;
}

void note_saved(const std::wstring& subject) {
    saved.push_back(subject);
}

std::vector<std::wstring> take_saved() noexcept {
    return std::exchange(saved, {});
}

} // namespace qs::standin
