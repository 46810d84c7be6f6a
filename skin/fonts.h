#pragma once
// The window asks for fonts by the names the look was designed with (Arial, Verdana, Segoe UI
// Symbol, Comic Sans MS); this maps them onto installed fonts with Latin and CJK coverage,
// so no calligraphic or bitmap fallback appears.
void substitute_fonts();
