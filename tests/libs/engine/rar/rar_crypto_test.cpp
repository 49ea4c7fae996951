// RAR encryption: the key derivations against values other implementations give, and
// encrypted corpus archives (data and headers, RAR 2.9 and RAR5) with passwords that are
// right, wrong and then right, or not given at all.
#include "engine/rar/rar_crypto.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "library_test_support.h"
#include "rar_reader_test_support.h"
#include "rar_test_archives.h"

namespace rar_test {
namespace {

using engine::ResultCode;
using engine::rar::Rar3Key;

template <size_t N>
std::string Hex(const uint8_t (&bytes)[N]) {
  std::string s;
  char byte[3];
  for (uint8_t b : bytes) {
    std::snprintf(byte, sizeof(byte), "%02x", b);
    s += byte;
  }
  return s;
}

template <size_t N>
std::string Hex(const std::array<uint8_t, N>& bytes) {
  uint8_t copy[N];
  std::copy(bytes.begin(), bytes.end(), copy);
  return Hex(copy);
}

// PBKDF2-HMAC-SHA256 vectors published with RFC 7914 (section 11) and in common use
// elsewhere; the first 32 bytes of each.
TEST(RarKeys, Pbkdf2MatchesPublishedVectors) {
  struct Case {
    const char* password;
    const char* salt;
    uint64_t count;
    const char* key;
  };
  const Case cases[] = {
      {"passwd", "salt", 1, "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"},
      {"password", "salt", 1, "120fb6cffcf8b32c43e7225256c4f837a86548c92ccc35480805987cb70be17b"},
      {"password", "salt", 4096,
       "c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.password) + "/" + std::to_string(c.count));
    uint8_t key[32], hash_key[32], check[32];
    engine::rar::Rar5Pbkdf2(c.password, reinterpret_cast<const uint8_t*>(c.salt),
                            std::string(c.salt).size(), c.count, key, hash_key, check);
    EXPECT_EQ(Hex(key), c.key);
    // The two further values RAR takes are the same sum 16 and 32 rounds on.
    uint8_t later[32], unused[32];
    engine::rar::Rar5Pbkdf2(c.password, reinterpret_cast<const uint8_t*>(c.salt),
                            std::string(c.salt).size(), c.count + 16, later, unused, unused);
    EXPECT_EQ(Hex(hash_key), Hex(later));
  }
}

// RAR 2.9-4.x keys, computed once with rarfile 3.1's rar3_s2k (Debian python3-rarfile),
// which repeats the way RAR's SHA-1 changes a password long enough to fill whole blocks.
TEST(RarKeys, Rar3KeysMatchRarfile) {
  struct Case {
    std::string password;
    const char* salt;
    const char* key;
    const char* iv;
  };
  const Case cases[] = {
      {"12345678", "abcdefgh", "d001ce9788dd5160b97db00c80e06946",
       "6bdfda3fea62297e807ca62bff389ee4"},
      {std::string(40, 'a'), "\x01\x02\x03\x04\x05\x06\x07\x08", "71028348204f3651d843555691463830",
       "10642b40d428296b56333acd78d93d1e"},
      {"パスワード-long-password-0123456789-abcdefghijklmnop", "saltsalt",
       "d2201d89e6d382198356cb73071604b7", "36c8dc5772108d938cc1d48b1e7b9425"},
      {std::string(127, 'x'), "12345678", "8965baa0aa386ab6c7082fcdc4b630db",
       "05845f50e3d27d03128b80a01dcc2fa3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.password);
    Rar3Key key;
    engine::rar::DeriveRar3Key(c.password, reinterpret_cast<const uint8_t*>(c.salt), &key);
    EXPECT_EQ(Hex(key.key), c.key);
    EXPECT_EQ(Hex(key.iv), c.iv);
  }
  // RAR reads 127 UTF-16 units of a password: what follows makes no difference.
  Rar3Key cut, longer;
  engine::rar::DeriveRar3Key(std::string(127, 'x'), reinterpret_cast<const uint8_t*>("12345678"),
                             &cut);
  engine::rar::DeriveRar3Key(std::string(200, 'x'), reinterpret_cast<const uint8_t*>("12345678"),
                             &longer);
  EXPECT_EQ(Hex(cut.key), Hex(longer.key));
}

struct PasswordCase {
  const char* what;
  const char* archive;
  std::vector<std::string> answers;
  bool repeat_last;
  std::vector<bool> questions;  // the `wrong` flag of each question asked
  ResultCode open;
  std::vector<std::string> lines;
};

std::string Line(const std::string& name, const std::string& content) {
  const uLong crc =
      crc32(0L, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size()));
  char tail[48];
  std::snprintf(tail, sizeof(tail), "\t%zu\t%08lx", content.size(), crc);
  return "f\t" + name + tail;
}

// The password is asked for at the first encrypted entry (before the first header when the
// headers are encrypted), reused, asked again while it proves wrong, and not asked again
// once the user gave none.
TEST(RarPasswords, AskedOnceReusedAndAskedAgainWhenWrong) {
  if (CorpusRar("").empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  const std::string foo = Line("foo.txt", "data of foo.txt\n");
  const std::string bar = Line("bar.txt", "data of bar.txt\n");
  auto from = [](const char* name) { return Line(name, std::string("This is from ") + name); };
  const char* rar29 = "test_read_format_rar_encryption_data.rar";
  const char* rar29_headers = "test_read_format_rar_encryption_header.rar";
  const char* rar5 = "test_read_format_rar5_encrypted.rar";  // b: password, d: password2
  const char* rar5_headers = "test_read_format_rar5_encrypted_filenames.rar";
  const PasswordCase cases[] = {
      {"2.9 data, right", rar29, {"12345678"}, false, {false}, ResultCode::kOk, {foo, bar}},
      // No check value: the first file is decoded once with the wrong password and fails.
      {"2.9 data, wrong then right",
       rar29,
       {"secret", "12345678"},
       false,
       {false, true},
       ResultCode::kOk,
       {foo, bar}},
      {"2.9 data, cancelled",
       rar29,
       {},
       false,
       {false},
       ResultCode::kOk,
       {"E\tfoo.txt", "E\tbar.txt"}},
      {"2.9 data, wrong then cancelled",
       rar29,
       {"secret"},
       false,
       {false, true},
       ResultCode::kOk,
       {"F\tfoo.txt\t800a", "E\tbar.txt"}},
      {"2.9 data, the same wrong answer again",
       rar29,
       {"secret"},
       true,
       {false, true},
       ResultCode::kOk,
       {"F\tfoo.txt\t800a", "E\tbar.txt"}},
      {"2.9 headers, right",
       rar29_headers,
       {"12345678"},
       false,
       {false},
       ResultCode::kOk,
       {foo, bar}},
      {"2.9 headers, wrong then right",
       rar29_headers,
       {"x", "12345678"},
       false,
       {false, true},
       ResultCode::kOk,
       {foo, bar}},
      {"2.9 headers, cancelled", rar29_headers, {}, false, {false}, ResultCode::kEncrypted, {}},
      {"5 data, both passwords",
       rar5,
       {"password", "password2"},
       false,
       {false, true},
       ResultCode::kOk,
       {from("a.txt"), from("b.txt"), from("c.txt"), from("d.txt")}},
      {"5 data, wrong first",
       rar5,
       {"wrong", "password", "password2"},
       false,
       {false, true, true},
       ResultCode::kOk,
       {from("a.txt"), from("b.txt"), from("c.txt"), from("d.txt")}},
      {"5 data, only the first password",
       rar5,
       {"password"},
       false,
       {false, true},
       ResultCode::kOk,
       {from("a.txt"), from("b.txt"), from("c.txt"), "E\td.txt"}},
      {"5 data, cancelled",
       rar5,
       {},
       false,
       {false},
       ResultCode::kOk,
       {from("a.txt"), "E\tb.txt", from("c.txt"), "E\td.txt"}},
      {"5 headers, wrong then right",
       rar5_headers,
       {"nope", "password"},
       false,
       {false, true},
       ResultCode::kOk,
       {from("a.txt"), from("b.txt"), from("c.txt"), from("d.txt")}},
      {"5 headers, cancelled", rar5_headers, {}, false, {false}, ResultCode::kEncrypted, {}},
      {"5 headers, the same wrong answer again",
       "rar5-hpsw.rar",
       {"nope"},
       true,
       {false, true},
       ResultCode::kEncrypted,
       {}},
  };
  for (const PasswordCase& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedPasswords passwords(c.answers, c.repeat_last);
    const Listing listing = ReadAll(CorpusRar(c.archive), &passwords);
    EXPECT_EQ(listing.open.code, c.open) << listing.open.message;
    EXPECT_EQ(listing.lines, c.lines);
    EXPECT_EQ(passwords.questions(), c.questions);
    if (listing.open.ok()) {
      EXPECT_TRUE(listing.end.ok()) << listing.end.message;
    }
  }
}

// Archives built here: a file larger than what the first pass with a new password keeps is
// decoded once to test the password and again to hand it out; without a check value only
// its checksum (here also stored as a MAC) tells a wrong password.
TEST(RarPasswords, FirstFileConfirmsThePasswordWhateverItsSize) {
  std::string large(5 << 20, '\0');
  for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>((i * 31) ^ (i >> 12));
  const std::string small = "a small secret";
  struct Case {
    const char* what;
    const std::string& data;
    bool check;
    bool mac;
    std::vector<std::string> answers;
    std::vector<bool> questions;
    bool comes_out;
  };
  const Case cases[] = {
      {"large, no check value, right", large, false, false, {"pw"}, {false}, true},
      {"large, no check value, wrong then right",
       large,
       false,
       true,
       {"x", "pw"},
       {false, true},
       true},
      {"large, no check value, only wrong", large, false, false, {"x"}, {false, true}, false},
      {"small, check value and MAC, wrong then right",
       small,
       true,
       true,
       {"x", "pw"},
       {false, true},
       true},
      {"small, MAC, wrong then right", small, false, true, {"x", "pw"}, {false, true}, true},
  };
  dizor_test::ScopedTempDir temp;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(PutFile(temp.Sub("e.rar"),
                        BuildEncryptedRar5("secret.bin", c.data, "pw", 4, c.check, c.mac)));
    ScriptedPasswords passwords(c.answers);
    const Listing listing = ReadAll(temp.Sub("e.rar"), &passwords);
    const std::string expected = c.comes_out ? Line("secret.bin", c.data) : "F\tsecret.bin\t800a";
    EXPECT_EQ(listing.lines, std::vector<std::string>{expected});
    EXPECT_EQ(passwords.questions(), c.questions);
  }
}

// Without any password source, encrypted entries are marked and the others come out.
TEST(RarPasswords, NobodyToAsk) {
  if (CorpusRar("").empty()) GTEST_SKIP() << "corpus not found at " DIZOR_CORPUS_DIR;
  dizor_test::ScopedTempDir temp;
  const engine::ExtractReport report =
      ExtractRar(CorpusRar("test_read_format_rar5_encrypted.rar"), temp.Sub("out/"));
  EXPECT_EQ(report.result, ResultCode::kEncrypted);
  EXPECT_EQ(report.extracted, 2u);
  EXPECT_EQ(report.failed, 2u);
  const Listing listing = ReadAll(CorpusRar("rar5-hpsw.rar"));
  EXPECT_EQ(listing.open.code, ResultCode::kEncrypted);
}

}  // namespace
}  // namespace rar_test
