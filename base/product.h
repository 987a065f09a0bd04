// Facts about the product itself, shared by the settings file and the notice link.
#pragma once

inline constexpr wchar_t ProductTitle[] = L"Quillmere";
inline constexpr wchar_t ProductPageAddress[] = L"https://quillmere.example/";
