#include "updater/engine/common/locale_name.h"

#include "platform/util/strings.h"

void NormalizeLocaleName(char* text, size_t length) {
  if (text == nullptr) return;
  size_t i = 0;
  while (i < length && text[i] != '\0' && text[i] != '-') ++i;
  if (i == length || text[i] != '-') return;
  text[i] = '_';
  StrUpperN(text + i + 1, length - i - 1);
}
