// The list of carved formats. Adding a format: its own file, one declaration and one line
// here. When headers of several formats match the same sector, earlier entries are tried
// first.
#include "recovery/signatures/signature.h"

extern const signature_s jpeg_signature;
extern const signature_s png_signature;

const std::vector<const signature_s*>& signature_registry()
{
    static const std::vector<const signature_s*> all{
        &jpeg_signature,
        &png_signature,
    };
    return all;
}
