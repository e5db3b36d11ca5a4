#include "base/settings.h"

namespace vorbex {

RunSettings runSettings;
LongOptions longOptions;

void storeDefaultSettings() {
    runSettings = DEFAULT_SETTINGS;
    longOptions = LongOptions{};
}

} // namespace vorbex
