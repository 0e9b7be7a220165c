#include "tempstore.h"

#include <cstdio>

namespace zel {

void TempStore::discard() noexcept {
  if (file.fp != nullptr && open == 1) {
    file.close();
    std::remove(file.name.c_str());
  }
  file.close();
  open = 0;
}

}  // namespace zel
