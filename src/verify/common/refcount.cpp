#include "verify/common/refcount.h"

int RefCountBase::Release() {
  if (count_.fetch_sub(1, std::memory_order_seq_cst) != 1) return 1;
  Dispose();
  Destroy();
  return 0;
}
