#include "platform/store/profile_file.h"

#include <cstring>
#include <new>

#include "platform/store/profile_io.h"

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// A name is C text: whatever follows an embedded NUL is not part of it.
std::string_view CutAtNul(std::string_view text) { return text.substr(0, text.find('\0')); }

void Append(char*& out, std::string_view text) {
  if (!text.empty()) std::memcpy(out, text.data(), text.size());
  out += text.size();
}

}  // namespace

CProfileFile::CProfileFile(const ApiAllocator* allocator)
    : allocator_(allocator), sections_(allocator) {}

// Load empties the object itself and keeps an unchanged path, so a caller may
// pass GetPath() back in.
bool CProfileFile::Init(const char* path) {
  if (path == nullptr) {
    Release();
    return false;
  }
  return Load(path);
}

void CProfileFile::Release() {
  sections_.Clear();
  loaded_ = false;
  path_ = ProfileText();
}

void ProfileFileRelease(CProfileFile& file) { file.Release(); }

bool CProfileFile::Load(const char* path) {
  sections_.Clear();
  loaded_ = false;
  if (path != nullptr && path_.View() != path) path_ = ProfileText::Copy(path);
  if (path_.CStr() == nullptr) return false;
  ProfileBytes bytes;
  if (!ProfileReadFile(path_.CStr(), &bytes)) return false;
  loaded_ = ParseText({bytes.data.get(), bytes.size});
  return loaded_;
}

// "[" opens a header wherever it stands, "]" closes it, and the body runs to
// the next "[": text before the first header and a header left open at the
// end are ignored.
bool CProfileFile::ParseText(std::string_view text) {
  size_t position = 0;
  for (;;) {
    const size_t open = text.find('[', position);
    if (open == text.npos) return true;
    const size_t close = text.find(']', open + 1);
    if (close == text.npos) return true;
    const size_t body_start = close + 1;
    size_t body_end = text.find('[', body_start);
    if (body_end == text.npos) body_end = text.size();
    auto section = std::unique_ptr<CProfileSection>(new (std::nothrow) CProfileSection(
        CutAtNul(text.substr(open + 1, close - open - 1)), allocator_));
    if (!section || !section->IsValid() ||
        !section->ParseBody(text.substr(body_start, body_end - body_start)) ||
        !sections_.Append(std::move(section))) {
      return false;
    }
    position = body_end;
  }
}

bool CProfileFile::Save(const char* path) const {
  if (path == nullptr) path = path_.CStr();
  if (path == nullptr) return false;
  size_t size = 0;
  for (size_t i = 0; i < sections_.Count(); ++i) {
    const CProfileSection& section = *sections_.At(i);
    size += section.Name().size() + 2 + kLineEnd.size();
    for (uint32_t k = 0; k < section.GetKeyCount(); ++k) {
      size += std::strlen(section.GetKeyAt(k)) + 1 + std::strlen(section.GetValueAt(k)) +
              kLineEnd.size();
    }
  }
  std::unique_ptr<char[]> text(new (std::nothrow) char[size + 1]);
  if (!text) return false;
  char* out = text.get();
  for (size_t i = 0; i < sections_.Count(); ++i) {
    const CProfileSection& section = *sections_.At(i);
    Append(out, "[");
    Append(out, section.Name());
    Append(out, "]");
    Append(out, kLineEnd);
    for (uint32_t k = 0; k < section.GetKeyCount(); ++k) {
      Append(out, section.GetKeyAt(k));
      Append(out, "=");
      Append(out, section.GetValueAt(k));
      Append(out, kLineEnd);
    }
  }
  return ProfileWriteFile(path, {text.get(), size});
}

uint32_t CProfileFile::GetSectionCount() const { return static_cast<uint32_t>(sections_.Count()); }

CProfileSection* CProfileFile::GetSectionAt(uint32_t i) const { return sections_.At(i); }

const char* CProfileFile::GetSectionName(uint32_t i) const {
  const CProfileSection* section = sections_.At(i);
  return section ? section->GetName() : nullptr;
}

CProfileSection* CProfileFile::FindSection(std::string_view name) const {
  return sections_.At(sections_.Find(name, ProfileNameCrc(name)));
}

CProfileSection* CProfileFile::GetOrAddSection(std::string_view name) {
  if (CProfileSection* found = FindSection(name)) return found;
  auto section =
      std::unique_ptr<CProfileSection>(new (std::nothrow) CProfileSection(name, allocator_));
  CProfileSection* added = section.get();
  return AddSection(std::move(section)) ? added : nullptr;
}

bool CProfileFile::AddSection(std::unique_ptr<CProfileSection> section) {
  if (!section || !section->IsValid()) return false;
  return sections_.Append(std::move(section));
}

bool CProfileFile::RemoveSection(std::string_view name) {
  const size_t i = sections_.Find(name, ProfileNameCrc(name));
  if (i == sections_.kNotFound) return false;
  sections_.RemoveAt(i);
  return true;
}

const char* CProfileFile::GetValue(std::string_view section, std::string_view key,
                                   const char* default_value) const {
  const CProfileSection* found = FindSection(section);
  return found ? found->GetValue(key, default_value) : default_value;
}

int32_t CProfileFile::GetInt(std::string_view section, std::string_view key,
                             int32_t default_value) const {
  const CProfileSection* found = FindSection(section);
  return found ? found->GetInt(key, default_value) : default_value;
}

bool CProfileFile::CopyValue(std::string_view section, std::string_view key,
                             const char* default_value, char* buffer, uint32_t size) const {
  const char* text = GetValue(section, key, default_value);
  if (text == nullptr || buffer == nullptr || size == 0) return false;
  uint32_t written = 0;
  for (; *text != '\0' && written + 1 < size; ++text) {
    if (*text != '"') buffer[written++] = *text;
  }
  buffer[written] = '\0';
  return true;
}
