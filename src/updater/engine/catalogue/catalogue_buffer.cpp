#include "updater/engine/catalogue/catalogue_buffer.h"

void* CCatalogueBuffer::Realloc(void* pointer, size_t size) {
  return size > kMaxStorage ? nullptr : CBuffer::Realloc(pointer, size);
}
