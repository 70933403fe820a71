// Recognising URLs in text, for the link highlighting of the editor view and
// for following a link under the mouse.
//
// The scanner works on text already lower-cased with the ANSI case table. A
// URL starts at the beginning of a word and takes one of these forms:
//   scheme://rest        a scheme of letters, digits, + - . (at most 32)
//   www.rest             three letters w and a dot, then a host character
//   mailto:user@host     and news:rest
//   user@host.domain     a mail address: a host with at least one dot
// The rest runs over the characters of hosts, paths and queries (letters,
// digits and - . _ ~ : / ? # [ ] @ ! $ & ' ( ) * + , ; = and percent escapes
// of two hex digits). The characters ! ' ) , . : ; ? ] at its end are not part
// of it, so a URL followed by a full stop or a closing parenthesis ends before
// them. Bytes of 128 and above end a URL; double-byte characters are skipped
// whole, so a trail byte never starts one.
#pragma once

#include "foundation/types.h"

// The length of the URL that starts at text[i] (text lower-cased, n bytes), or
// 0 when none does. Does not look at the character before i.
u32 UrlLengthAt(const u8 *text, u32 n, u32 i);

// Finds every URL of text[0, n) (lower-cased) from left to right and calls
// found(context, start, length) for each; stops early when found returns
// non-zero and returns that value; otherwise 0.
int ScanUrls(const u8 *text, u32 n, int (*found)(void *context, u32 start, u32 length), void *context);
