#include "platform/util/c_locale.h"

locale_t GetCLocale() {
  static const locale_t locale = newlocale(0, "", static_cast<locale_t>(nullptr));
  return locale;
}
