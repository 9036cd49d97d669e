// The domain part of a found address: its percent escapes, and whether it is
// a domain one can write to, a name under a known public suffix, which
// "logo@2x.png" (an image name), "a@b.c" or "pq@s.example" are not.
#pragma once

#include <string>
#include <string_view>

// The domain with every escape of a byte from 0x80 up ("%c3%a8", either
// case) decoded, so a name beyond ASCII reads in UTF-8 ("caffè"). Escapes of
// ASCII bytes stay, and so does the whole text when the decoded bytes would
// not be valid UTF-8. Decoding a decoded text changes nothing more.
std::string DecodeDomainEscapes(std::string_view domain);

// True when the domain, its escapes decoded, its trailing full stops
// ignored and taken in lower-case ASCII form, is made of letters, digits
// and hyphens between full stops, and has a registrable name under a suffix
// of the public suffix list ("example.org", "x.co.uk"; not "co.uk", "b.c").
bool IsPublicDomain(std::string_view domain);

// The address's domain part (after its first "@") is a public domain.
bool HasPublicDomain(std::string_view address);
