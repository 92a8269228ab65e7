#include "app/app_state.h"

int32_t UiLanguage = LanguageEnglish;
char16_t WindowTitle[TitleCapacity];
int32_t CancelRequested = 0;
int32_t AbortRequested = 0;
