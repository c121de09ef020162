#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/util/cpu_features.h"
#include "platform/util/md5.h"
#include "platform/util/sha1.h"
#include "platform/util/sha256.h"
#include "platform/util/sha512.h"
#include "support/temp_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string Hex(const Bytes& b) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s;
  for (uint8_t v : b) {
    s += kDigits[v >> 4];
    s += kDigits[v & 15];
  }
  return s;
}

Bytes Unhex(const std::string& s) {
  Bytes b;
  for (size_t i = 0; i + 1 < s.size(); i += 2) {
    b.push_back(static_cast<uint8_t>(std::stoi(s.substr(i, 2), nullptr, 16)));
  }
  return b;
}

Bytes Pattern(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& v : b) v = static_cast<uint8_t>(rng());
  return b;
}

// One interface over the digest families so that every check runs over all.
class Hasher {
 public:
  virtual ~Hasher() = default;
  virtual void Init() = 0;
  virtual void Update(const uint8_t* data, size_t n) = 0;
  virtual Bytes Final() = 0;

  Bytes Hash(const Bytes& m) {
    Init();
    Update(m.data(), m.size());
    return Final();
  }
};

class Md5Hasher : public Hasher {
 public:
  void Init() override { ASSERT_EQ(Md5Init(&c_), 0); }
  void Update(const uint8_t* d, size_t n) override { Md5Update(&c_, d, n); }
  Bytes Final() override {
    Bytes out(16);
    EXPECT_EQ(Md5Final(&c_, out.data(), out.size()), 0);
    return out;
  }

 private:
  MD5_CONTEXT c_{};
};

class Sha1Hasher : public Hasher {
 public:
  void Init() override { Sha1Init(&c_); }
  void Update(const uint8_t* d, size_t n) override { Sha1Update(&c_, d, n); }
  Bytes Final() override {
    Sha1Final(&c_);
    const uint8_t* d = Sha1Digest(&c_);
    EXPECT_EQ(d, c_.buffer);
    return Bytes(d, d + kSha1DigestSize);
  }

 private:
  SHA1_CONTEXT c_{};
};

class Sha256Hasher : public Hasher {
 public:
  explicit Sha256Hasher(bool is224) : is224_(is224) {}
  void Init() override { ASSERT_EQ(is224_ ? Sha224Init(&c_) : Sha256Init(&c_), 0); }
  void Update(const uint8_t* d, size_t n) override {
    static const uint8_t kNone = 0;
    ASSERT_EQ(Sha256Update(&c_, n ? d : &kNone, n), 0);
  }
  Bytes Final() override {
    Bytes out(is224_ ? kSha224DigestSize : kSha256DigestSize);
    EXPECT_EQ(is224_ ? Sha224Final(&c_, out.data(), out.size())
                     : Sha256Final(&c_, out.data(), out.size()),
              0);
    return out;
  }

 private:
  bool is224_;
  SHA256_CONTEXT c_{};
};

class Sha512Hasher : public Hasher {
 public:
  explicit Sha512Hasher(uint64_t size) : size_(size) {}
  void Init() override {
    int r = size_ == kSha512DigestSize   ? Sha512Init(&c_)
            : size_ == kSha384DigestSize ? Sha384Init(&c_)
                                         : Sha512_256Init(&c_);
    ASSERT_EQ(r, 0);
  }
  void Update(const uint8_t* d, size_t n) override {
    static const uint8_t kNone = 0;
    ASSERT_EQ(Sha512Update(&c_, n ? d : &kNone, n), 0);
  }
  Bytes Final() override {
    Bytes out(size_);
    EXPECT_EQ(Sha512Finish(&c_, out.data(), out.size(), size_), 0);
    return out;
  }

 private:
  uint64_t size_;
  SHA512_CONTEXT c_{};
};

std::unique_ptr<Hasher> MakeHasher(const std::string& name) {
  if (name == "md5") return std::make_unique<Md5Hasher>();
  if (name == "sha1") return std::make_unique<Sha1Hasher>();
  if (name == "sha224") return std::make_unique<Sha256Hasher>(true);
  if (name == "sha256") return std::make_unique<Sha256Hasher>(false);
  if (name == "sha384") return std::make_unique<Sha512Hasher>(kSha384DigestSize);
  if (name == "sha512") return std::make_unique<Sha512Hasher>(kSha512DigestSize);
  if (name == "sha512_256") return std::make_unique<Sha512Hasher>(kSha512_256DigestSize);
  return nullptr;
}

const char* const kAlgorithms[] = {"md5",    "sha1",   "sha224",    "sha256",
                                   "sha384", "sha512", "sha512_256"};

// The block functions under test: the portable ones and each accelerated one
// this processor can run go through the same checks.
struct Engine {
  const char* name;
  Sha1BlockFunction sha1;
  Sha256BlockFunction sha256;
  Sha512BlockFunction sha512;
};

std::vector<Engine> Engines() {
  std::vector<Engine> e = {
      {"portable", Sha1BlockPortable, Sha256BlockPortable, Sha512BlockPortable}};
  const Sha1BlockFunction sha1 = CpuHasShaNi() ? Sha1BlockShaNi : Sha1BlockPortable;
  const Sha256BlockFunction sha256 = CpuHasShaNi() ? Sha256BlockShaNi : Sha256BlockPortable;
  if (CpuHasAvxBmi2()) e.push_back({"avx", sha1, sha256, Sha512BlockAvxBmi2});
  if (CpuHasAvx2Bmi2()) e.push_back({"avx2", sha1, sha256, Sha512BlockAvx2});
  if (CpuHasAvx512VlBmi2()) e.push_back({"avx512vl", sha1, sha256, Sha512BlockAvx512Vl});
  if (CpuHasShaNi() && !CpuHasAvxBmi2()) e.push_back({"shani", sha1, sha256, Sha512BlockPortable});
  return e;
}

class DigestEngineTest : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    // Let the library make its own choice first, then force the engine.
    SHA1_CONTEXT c1;
    Sha1Init(&c1);
    ASSERT_EQ(Sha256Init(nullptr), 1);
    saved_sha1_ = Sha1CurrentBlockFunction();
    saved_sha256_ = Sha256CurrentBlockFunction();
    saved_sha512_ = Sha512CurrentBlockFunction();
    Sha1SetBlockFunction(GetParam().sha1);
    Sha256SetBlockFunction(GetParam().sha256);
    Sha512SetBlockFunction(GetParam().sha512);
  }
  void TearDown() override {
    Sha1SetBlockFunction(saved_sha1_);
    Sha256SetBlockFunction(saved_sha256_);
    Sha512SetBlockFunction(saved_sha512_);
  }

 private:
  Sha1BlockFunction saved_sha1_ = nullptr;
  Sha256BlockFunction saved_sha256_ = nullptr;
  Sha512BlockFunction saved_sha512_ = nullptr;
};

std::string VectorPath(const std::string& relative) {
  return "/usr/lib/python3/dist-packages/cryptography_vectors/hashes/" + relative;
}

struct RspVector {
  Bytes message;
  std::string digest;
};

// Reads the Len/Msg/MD records of a CAVP response file (Len in bits; Len 0
// carries a placeholder Msg byte).
std::vector<RspVector> ReadMessageVectors(const std::string& path) {
  std::ifstream in(path);
  std::vector<RspVector> out;
  std::string line;
  long bits = -1;
  Bytes message;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("Len = ", 0) == 0) bits = std::stol(line.substr(6));
    if (line.rfind("Msg = ", 0) == 0) message = Unhex(line.substr(6));
    if (line.rfind("MD = ", 0) == 0 && bits >= 0) {
      message.resize(static_cast<size_t>(bits / 8));
      out.push_back({message, line.substr(5)});
      bits = -1;
    }
  }
  return out;
}

struct VectorFile {
  const char* path;
  const char* algorithm;
};

const VectorFile kMessageFiles[] = {
    {"MD5/rfc-1321.txt", "md5"},
    {"SHA1/SHA1ShortMsg.rsp", "sha1"},
    {"SHA1/SHA1LongMsg.rsp", "sha1"},
    {"SHA2/SHA224ShortMsg.rsp", "sha224"},
    {"SHA2/SHA224LongMsg.rsp", "sha224"},
    {"SHA2/SHA256ShortMsg.rsp", "sha256"},
    {"SHA2/SHA256LongMsg.rsp", "sha256"},
    {"SHA2/SHA384ShortMsg.rsp", "sha384"},
    {"SHA2/SHA384LongMsg.rsp", "sha384"},
    {"SHA2/SHA512ShortMsg.rsp", "sha512"},
    {"SHA2/SHA512LongMsg.rsp", "sha512"},
    {"SHA2/SHA512_256ShortMsg.rsp", "sha512_256"},
    {"SHA2/SHA512_256LongMsg.rsp", "sha512_256"},
};

TEST_P(DigestEngineTest, NistMessageVectors) {
  for (const VectorFile& f : kMessageFiles) {
    auto vectors = ReadMessageVectors(VectorPath(f.path));
    ASSERT_GT(vectors.size(), 3u) << "no vectors in " << f.path
                                  << " (package python3-cryptography-vectors)";
    auto hasher = MakeHasher(f.algorithm);
    for (const RspVector& v : vectors) {
      ASSERT_EQ(Hex(hasher->Hash(v.message)), v.digest)
          << f.path << ", " << v.message.size() << " bytes";
    }
  }
}

// The Monte Carlo chains: each digest is fed back, so any state carried wrongly
// between calls shows up.
TEST_P(DigestEngineTest, NistMonteCarloChains) {
  const VectorFile files[] = {
      {"SHA1/SHA1Monte.rsp", "sha1"},     {"SHA2/SHA224Monte.rsp", "sha224"},
      {"SHA2/SHA256Monte.rsp", "sha256"}, {"SHA2/SHA384Monte.rsp", "sha384"},
      {"SHA2/SHA512Monte.rsp", "sha512"}, {"SHA2/SHA512_256Monte.rsp", "sha512_256"},
  };
  for (const VectorFile& f : files) {
    std::ifstream in(VectorPath(f.path));
    std::string line;
    Bytes seed;
    std::vector<std::string> expected;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.rfind("Seed = ", 0) == 0) seed = Unhex(line.substr(7));
      if (line.rfind("MD = ", 0) == 0) expected.push_back(line.substr(5));
    }
    ASSERT_FALSE(seed.empty()) << f.path;
    ASSERT_EQ(expected.size(), 100u) << f.path;
    auto hasher = MakeHasher(f.algorithm);
    for (const std::string& checkpoint : expected) {
      Bytes md[3] = {seed, seed, seed};
      for (int i = 0; i < 1000; ++i) {
        hasher->Init();
        for (const Bytes& part : md) hasher->Update(part.data(), part.size());
        Bytes next = hasher->Final();
        md[0] = std::move(md[1]);
        md[1] = std::move(md[2]);
        md[2] = std::move(next);
      }
      seed = md[2];
      ASSERT_EQ(Hex(seed), checkpoint) << f.path;
    }
  }
}

// Python's hashlib over lengths around every padding boundary (one and two
// final blocks, both block sizes).
TEST_P(DigestEngineTest, PaddingBoundariesAgreeWithPython) {
  const size_t lengths[] = {0,   1,   3,   55,  56,  57,  63,  64,  65,  111, 112,
                            113, 119, 120, 127, 128, 129, 191, 192, 255, 256, 1000};
  upd::test::TempDir dir;
  std::string list;
  for (size_t n : lengths) {
    upd::test::WriteFile(dir.file(std::to_string(n)),
                         std::string(reinterpret_cast<const char*>(Pattern(n, 5).data()), n));
    list += std::to_string(n) + " ";
  }
  std::string script =
      "import hashlib,sys,os\n"
      "for n in sys.argv[2:]:\n"
      "    d=open(os.path.join(sys.argv[1],n),'rb').read()\n"
      "    for a in ['md5','sha1','sha224','sha256','sha384','sha512','sha512_256']:\n"
      "        print(n,a,hashlib.new(a.replace('_','-') if a=='sha512_256' else "
      "a,d).hexdigest())\n";
  upd::test::WriteFile(dir.file("oracle.py"), script);
  const char* python = std::getenv("PYTHON3");
  std::string out;
  ASSERT_EQ(
      upd::test::RunCommand(std::string(python ? python : "python3") + " " + dir.file("oracle.py") +
                                " " + dir.path().string() + " " + list,
                            &out),
      0);
  std::istringstream lines(out);
  size_t n = 0;
  std::string algorithm, digest;
  int compared = 0;
  while (lines >> n >> algorithm >> digest) {
    EXPECT_EQ(Hex(MakeHasher(algorithm)->Hash(Pattern(n, 5))), digest) << algorithm << ", " << n;
    ++compared;
  }
  EXPECT_EQ(compared, static_cast<int>(std::size(lengths) * std::size(kAlgorithms)));
}

TEST_P(DigestEngineTest, SplitUpdatesEqualOneShot) {
  const Bytes message = Pattern(3001, 11);
  const std::vector<size_t> chunkings = {1, 7, 55, 63, 64, 65, 127, 128, 129, 1000};
  for (const char* algorithm : kAlgorithms) {
    auto h = MakeHasher(algorithm);
    const Bytes whole = h->Hash(message);
    for (size_t chunk : chunkings) {
      h->Init();
      for (size_t at = 0; at < message.size(); at += chunk) {
        h->Update(message.data() + at, std::min(chunk, message.size() - at));
      }
      EXPECT_EQ(Hex(h->Final()), Hex(whole)) << algorithm << ", chunks of " << chunk;
    }
    std::mt19937 rng(3);
    h->Init();
    for (size_t at = 0; at < message.size();) {
      size_t n = std::min<size_t>(rng() % 300, message.size() - at);
      h->Update(message.data() + at, n);
      at += n;
    }
    EXPECT_EQ(Hex(h->Final()), Hex(whole)) << algorithm << ", random chunks";
  }
}

TEST_P(DigestEngineTest, UnalignedInputGivesTheSameDigest) {
  const Bytes buffer = Pattern(4096 + 16, 8);
  for (const char* algorithm : kAlgorithms) {
    auto h = MakeHasher(algorithm);
    const Bytes base(buffer.begin(), buffer.begin() + 4096);
    const Bytes expected = h->Hash(base);
    for (size_t shift = 1; shift < 16; shift += 5) {
      Bytes copy(buffer.size());
      std::copy(base.begin(), base.end(), copy.begin() + static_cast<long>(shift));
      h->Init();
      h->Update(copy.data() + shift, base.size());
      EXPECT_EQ(h->Final(), expected) << algorithm << ", shift " << shift;
    }
  }
}

// The SHA-1 block function's contract: whole blocks only, pointer and length
// moved past them, blocks counted.
TEST_P(DigestEngineTest, Sha1BlockFunctionConsumesWholeBlocks) {
  SHA1_CONTEXT c;
  Sha1Init(&c);
  const Bytes data = Pattern(150, 2);
  const uint8_t* p = data.data();
  uint64_t length = data.size();
  Sha1CurrentBlockFunction()(&c, &p, &length);
  EXPECT_EQ(p, data.data() + 128);
  EXPECT_EQ(length, 22u);
  EXPECT_EQ(c.blocks, 2u);
  length = 63;
  Sha1CurrentBlockFunction()(&c, &p, &length);
  EXPECT_EQ(length, 63u);
  EXPECT_EQ(c.blocks, 2u);
}

TEST_P(DigestEngineTest, OneShotFunctionsMatchTheirContexts) {
  for (size_t n : {0, 1, 64, 1000}) {
    const Bytes m = Pattern(n, static_cast<unsigned>(n));
    const uint8_t* data = n ? m.data() : reinterpret_cast<const uint8_t*>("");
    Bytes out(32);
    ASSERT_EQ(Sha256Digest(data, n, out.data(), out.size()), 0);
    EXPECT_EQ(out, MakeHasher("sha256")->Hash(m)) << n;
    ASSERT_EQ(Sha512_256Digest(data, n, out.data(), out.size()), 0);
    EXPECT_EQ(out, MakeHasher("sha512_256")->Hash(m)) << n;
  }
}

INSTANTIATE_TEST_SUITE_P(BlockFunctions, DigestEngineTest, ::testing::ValuesIn(Engines()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DigestSelection, FirstInitialisationPicksTheFastestPath) {
  SHA1_CONTEXT c1;
  Sha1Init(&c1);
  SHA512_CONTEXT c5;
  ASSERT_EQ(Sha384Init(&c5), 0);
  ASSERT_NE(Sha1CurrentBlockFunction(), nullptr);
  ASSERT_NE(Sha256CurrentBlockFunction(), nullptr);
  const bool sha_ni = CpuHasShaNi();
  EXPECT_EQ(Sha1CurrentBlockFunction(), sha_ni ? &Sha1BlockShaNi : &Sha1BlockPortable);
  EXPECT_EQ(Sha256CurrentBlockFunction(), sha_ni ? &Sha256BlockShaNi : &Sha256BlockPortable);
  EXPECT_EQ(Sha512CurrentBlockFunction(), CpuHasAvx512VlBmi2() ? &Sha512BlockAvx512Vl
                                          : CpuHasAvx2Bmi2()    ? &Sha512BlockAvx2
                                          : CpuHasAvxBmi2()     ? &Sha512BlockAvxBmi2
                                                                : &Sha512BlockPortable);
}

TEST(DigestArguments, CodesForMissingOrShortArguments) {
  uint8_t out[80];
  SHA256_CONTEXT c256;
  SHA512_CONTEXT c512;
  MD5_CONTEXT cmd5;
  EXPECT_EQ(Sha256Init(nullptr), 1);
  EXPECT_EQ(Sha224Init(nullptr), 1);
  EXPECT_EQ(Sha512Init(nullptr), 1);
  EXPECT_EQ(Sha384Init(nullptr), 1);
  EXPECT_EQ(Sha512_256Init(nullptr), 1);
  EXPECT_EQ(Md5Init(nullptr), 1);
  ASSERT_EQ(Sha256Init(&c256), 0);
  EXPECT_EQ(Sha256Update(nullptr, "a", 1), 1);
  EXPECT_EQ(Sha256Update(&c256, nullptr, 1), 1);
  EXPECT_EQ(Sha256Final(nullptr, out, 32), 1);
  EXPECT_EQ(Sha256Final(&c256, nullptr, 32), 1);
  ASSERT_EQ(Sha512Init(&c512), 0);
  EXPECT_EQ(Sha512Update(nullptr, "a", 1), 1);
  EXPECT_EQ(Sha512Update(&c512, nullptr, 1), 1);
  EXPECT_EQ(Sha512Finish(nullptr, out, 64, 64), 1);
  EXPECT_EQ(Sha512Finish(&c512, nullptr, 64, 64), 1);
  EXPECT_EQ(Sha512Finish(&c512, out, 80, 0), 1);
  EXPECT_EQ(Sha512Finish(&c512, out, 80, 65), 1);
  ASSERT_EQ(Md5Init(&cmd5), 0);
  EXPECT_EQ(Md5Final(nullptr, out, 16), 1);
  EXPECT_EQ(Md5Final(&cmd5, nullptr, 16), 1);
  EXPECT_EQ(Sha256Digest(nullptr, 0, out, 32), 1);
  EXPECT_EQ(Sha256Digest("a", 1, nullptr, 32), 1);
  EXPECT_EQ(Sha512_256Digest(nullptr, 0, out, 32), 1);
  EXPECT_EQ(Sha512_256Digest("a", 1, nullptr, 32), 1);
}

// A short output is refused with 2 and left untouched; one byte more is enough.
TEST(DigestArguments, ShortOutputIsRefusedAndUntouched) {
  struct Case {
    const char* name;
    size_t size;
    int (*finish)(uint8_t* out, uint64_t size);
  };
  const Case cases[] = {
      {"sha256", 32,
       [](uint8_t* o, uint64_t s) {
         SHA256_CONTEXT c;
         (void)Sha256Init(&c);
         return Sha256Final(&c, o, s);
       }},
      {"sha224", 28,
       [](uint8_t* o, uint64_t s) {
         SHA256_CONTEXT c;
         (void)Sha224Init(&c);
         return Sha224Final(&c, o, s);
       }},
      {"md5", 16,
       [](uint8_t* o, uint64_t s) {
         MD5_CONTEXT c;
         (void)Md5Init(&c);
         return Md5Final(&c, o, s);
       }},
      {"sha384", 48,
       [](uint8_t* o, uint64_t s) {
         SHA512_CONTEXT c;
         (void)Sha384Init(&c);
         return Sha512Finish(&c, o, s, kSha384DigestSize);
       }},
      {"sha256 one-shot", 32, [](uint8_t* o, uint64_t s) { return Sha256Digest("abc", 3, o, s); }},
      {"sha512/256 one-shot", 32,
       [](uint8_t* o, uint64_t s) { return Sha512_256Digest("abc", 3, o, s); }},
  };
  for (const Case& c : cases) {
    Bytes out(c.size, 0xEE);
    EXPECT_EQ(c.finish(out.data(), c.size - 1), 2) << c.name;
    EXPECT_EQ(out, Bytes(c.size, 0xEE)) << c.name << ": wrote on refusal";
    EXPECT_EQ(c.finish(out.data(), c.size), 0) << c.name;
    EXPECT_NE(out, Bytes(c.size, 0xEE)) << c.name;
  }
}

}  // namespace
