#pragma once
/// The plug-in record as the host reads it: a small JSON object, one member per
/// line, each line sent with its own LogRecord call (tag ">"). Every member line
/// ends with a comma, the last one included; the host's reader accepts a comma
/// before a closing brace, and hosts rely on this exact layout.

#include "foundation/String.h"

class CPluginInfo;

/// text made safe inside a JSON string literal, as plain ASCII: the short escapes
/// \b \t \n \f \r \" \/ \\, every other unit below 0x20 or above 0x7E as \u and
/// four lower-case hex digits (so a character beyond the BMP becomes its two
/// escaped surrogates). Null and empty text give the empty string; the result is
/// non-null unless memory runs out.
CString JsonEscape(const CString& text);

/// Writes the record's lines: "{", the fifteen members from "id" to "synthEdit",
/// the "shells" object when the category is the shell category, "}".
void WriteRecordJson(const CPluginInfo& record);
