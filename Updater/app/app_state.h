// Process-wide state of the one UI thread, set up by the entry flow.
#pragma once

#include <cstddef>
#include <cstdint>

#include "payload/payload.h"

constexpr int32_t LanguageJapanese = 1;
constexpr int32_t LanguageEnglish = 2;

extern int32_t UiLanguage;
extern char16_t WindowTitle[TitleCapacity];

// Set when the user confirmed Cancel; never reset.
extern int32_t CancelRequested;
// Set when the window was closed, a quit message was polled or the payload could
// not be read; never reset.
extern int32_t AbortRequested;

inline bool IsJapanese() { return UiLanguage == LanguageJapanese; }
