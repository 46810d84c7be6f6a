// The list of carved formats. Adding a format: its own file, one declaration and one line
// here. When headers of several formats match the same sector, earlier entries are tried
// first.
#include "recovery/signatures/signature.h"

extern const signature_s jpeg_signature;
extern const signature_s png_signature;
extern const signature_s gif_signature;
extern const signature_s bmp_signature;
extern const signature_s pdf_signature;
extern const signature_s zip_signature;
extern const signature_s gzip_signature;
extern const signature_s bzip2_signature;
extern const signature_s xz_signature;
extern const signature_s sqlite_signature;
extern const signature_s riff_signature;
extern const signature_s mp4_signature;
extern const signature_s sevenzip_signature;
extern const signature_s elf_signature;
extern const signature_s pe_signature;
extern const signature_s tiff_signature;
extern const signature_s ole2_signature;
extern const signature_s ogg_signature;
extern const signature_s matroska_signature;
extern const signature_s psd_signature;
extern const signature_s ico_signature;
extern const signature_s sfnt_signature;
extern const signature_s netpbm_signature;
extern const signature_s mp3_signature;
extern const signature_s mpeg_ps_signature;
extern const signature_s rar_signature;
extern const signature_s flac_signature;
extern const signature_s xcf_signature;
extern const signature_s text_signature;

const std::vector<const signature_s*>& signature_registry()
{
    static const std::vector<const signature_s*> all{
        &jpeg_signature,     &png_signature,   &gif_signature,  &bmp_signature,    &pdf_signature,    &zip_signature,
        &gzip_signature,     &bzip2_signature, &xz_signature,   &sqlite_signature, &riff_signature,   &mp4_signature,
        &sevenzip_signature, &elf_signature,   &pe_signature,   &tiff_signature,   &ole2_signature,   &ogg_signature,
        &matroska_signature, &psd_signature,   &ico_signature,  &sfnt_signature,   &netpbm_signature, &mp3_signature,
        &mpeg_ps_signature,  &rar_signature,   &flac_signature, &xcf_signature,    &text_signature,
    };
    return all;
}
