#include "zelfile.h"

namespace zel {

void ZelFile::close() noexcept {
  if (xdr != nullptr) {
    xdr_destroy(xdr);
    delete xdr;
    xdr = nullptr;
  }
  if (fp != nullptr) {
    std::fclose(fp);
    fp = nullptr;
  }
}

}  // namespace zel
