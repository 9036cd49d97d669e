// Host names beyond ASCII: a name such as "caffè-1.example.org" (UTF-8) is
// asked for in its ASCII form "xn--caff-1-6ua.example.org", the only form
// the name service and the Host header know.
#pragma once

#include <string>

// The ASCII form of a host name, in lower case. A name that holds only
// ASCII bytes comes back lower-cased and otherwise unchanged; one that is
// not valid UTF-8, or that has no ASCII form, gives "".
std::string HostToAce(const std::string& host);

// The URL with its host in ASCII form: the host is what the HTTP client
// takes as one (after "//" up to the next "/", or the text up to the first
// "/" when the URL has no "//" and does not start with "/"), without a
// ":port". A URL whose host is all ASCII, or has no ASCII form, comes back
// unchanged.
std::string UrlWithAceHost(const std::string& url);
