/* Resource identifiers, shared by the C++ sources and valmorin.rc.
   Plain #defines only: the resource compilers read this file too. */
#ifndef VALMORIN_UI_RESOURCE_IDS_H
#define VALMORIN_UI_RESOURCE_IDS_H

/* The application icon (window, notification area, Explorer). */
#define IDI_VALMORIN 1

/* Button glyphs (icons with 16, 20, 24, 32, 40 and 48 px images). */
#define IDI_GLYPH_ALL 101
#define IDI_GLYPH_RETRY 102
#define IDI_GLYPH_CANCEL 103
#define IDI_GLYPH_IGNORE 104
#define IDI_GLYPH_HELP 105
#define IDI_GLYPH_OK 106
#define IDI_GLYPH_FOLDER 107
#define IDI_GLYPH_GLOBE 108

/* The maker's logo for the About dialog: a JPEG file as RCDATA. */
#define IDR_LOGO_JPEG 201

#endif
