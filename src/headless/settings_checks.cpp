#include "headless/settings_checks.h"

#include <openssl/pem.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "headless/discovery.h"
#include "util/platform.h"

namespace orlo::headless {
namespace {

// The code point of the UTF-8 sequence at `at` (advanced past it), or -1 when the bytes there
// are not one: overlong forms, surrogates and values past U+10FFFF included.
long nextCodePoint(const std::string& text, std::size_t& at) {
  const auto lead = static_cast<unsigned char>(text[at++]);
  if (lead < 0x80) return lead;
  int extra = 0;
  long value = 0;
  long lowest = 0;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1, value = lead & 0x1F, lowest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, value = lead & 0x0F, lowest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, value = lead & 0x07, lowest = 0x10000;
  } else {
    return -1;
  }
  for (int i = 0; i < extra; ++i, ++at) {
    if (at >= text.size() || (static_cast<unsigned char>(text[at]) & 0xC0) != 0x80) return -1;
    value = (value << 6) | (static_cast<unsigned char>(text[at]) & 0x3F);
  }
  if (value < lowest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return -1;
  return value;
}

bool controlCharacter(long c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

}  // namespace

Status checkTopicPrefix(const std::string& prefix) {
  if (prefix.empty()) return fail("the topic prefix must not be empty");
  for (std::size_t at = 0; at < prefix.size();) {
    const long c = nextCodePoint(prefix, at);
    if (c < 0) return fail("the topic prefix is not valid UTF-8");
    if (controlCharacter(c)) return fail("the topic prefix must not hold NUL or control characters");
    if (c == '+' || c == '#') return fail("the topic prefix must not hold the wildcards '+' or '#'");
  }
  if (prefix.front() == '$')
    return fail("the topic prefix must not start with '$' (the broker's own topics)");
  if (prefix.front() == '/' || prefix.back() == '/' || prefix.find("//") != std::string::npos)
    return fail("the topic prefix must not start or end with '/' nor hold an empty level ('//')");
  return {};
}

Status checkTopicLengths(const std::string& prefix, const std::vector<PackEntry>& packs) {
  for (const PackEntry& pack : packs) {
    const std::size_t own = prefix.size() + 1 + pack.name.size() + std::strlen("/availability");
    const std::size_t longest = std::max(own, longestDiscoveryTopic(prefix, pack.name));
    if (longest > kLongestTopic)
      return fail("the topic prefix is too long: pack " + pack.name + " would get a topic of " +
                  std::to_string(longest) + " bytes (MQTT allows " + std::to_string(kLongestTopic) + ")");
  }
  return {};
}

Status checkCertificateFile(const std::string& path, const char* what) {
  Result<std::string> text = readSmallFile(path, 1 << 20, what);
  if (!text) return fail(text.error());
  const std::unique_ptr<BIO, decltype(&BIO_free)> in(
      BIO_new_mem_buf(text->data(), static_cast<int>(text->size())), BIO_free);
  X509* first = in ? PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr) : nullptr;
  if (first == nullptr) return fail(std::string(what) + " " + path + " holds no PEM certificate");
  X509_free(first);
  return {};
}

Status checkDistinctDevices(const std::vector<PackEntry>& packs) {
  for (std::size_t i = 0; i < packs.size(); ++i) {
    FileFacts a;
    const bool aThere = factsOfPath(packs[i].device, &a);
    for (std::size_t j = 0; j < i; ++j) {
      FileFacts b;
      const bool same = packs[i].device == packs[j].device ||
                        (aThere && factsOfPath(packs[j].device, &b) && a.identity == b.identity);
      if (same)
        return fail("packs " + packs[j].name + " and " + packs[i].name + " use the same device " +
                    packs[i].device);
    }
  }
  return {};
}

}  // namespace orlo::headless
