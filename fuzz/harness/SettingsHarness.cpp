// Settings harness: whatever the settings database holds, loading a configuration slot must
// neither crash nor leave the model in a state that the code reading it next cannot take.
//
// Each input describes the rows of a fresh settings database, which the harness writes with
// SQLite directly (so rows the store itself would never write, such as unknown kinds, values of
// the wrong storage class or keys with embedded NULs, are possible too). The store then opens
// the file, loadConfiguration reads one slot, and the harness
//   - checks what loading promises (the SSID interval in range, the band readable),
//   - builds the configure command of one accessory generation from the loaded settings and
//     runs the model's derived queries (time base, roll mode, attenuation), which index tables
//     with loaded values,
//   - saves the slot, reopens the file and loads it into a second model: both models must hold
//     the same settings byte for byte (a loaded configuration survives a restart unchanged).
//
// Input format:
//   byte 0   header
//              bits 0-1  slot to load
//              bit 2     the kv table has a foreign shape (the store must move the file aside)
//              bits 3-4  configure command built afterwards: 0 none, 1 first generation,
//                        2 second generation, 3 dual-band
//              bit 5     accessoryConnected
//              bit 6     two float32 follow: the slope and offset the discover response carries
//                        (power calibration; band-1 calibration on the dual-band accessory)
//   rows, until the input ends:
//     op     bits 0-1  kind: 0 integer, 1 boolean, 2 blob, 3 foreign row
//            bits 2-3  slot n of the key prefix "config<n>."
//            bit 4     raw key: a length byte and that many bytes, used as the whole key;
//                      otherwise one byte selects a known key name (modulo the table below)
//     value  integer: int32; boolean: one byte; blob: a length byte (0xFF: a uint16 length
//            follows), then the bytes;
//            foreign row: the type text (length byte, bytes), a storage byte (modulo 5:
//            integer, real, text, blob, null) and its value (int64 for integer and real, a
//            blob as above for text and blob).
#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/protocol/AccessoryProtocol.h"
#include "acquisition/protocol/AccessoryProtocolFactory.h"
#include "core/AnalyzerModel.h"
#include "core/persistence/SettingsPersistence.h"
#include "engine/services/UserDefault.h"
#include "fuzz/harness/FuzzInput.h"
#include "fuzz/harness/Harness.h"

namespace tarvo::fuzz {

namespace {

constexpr const char* KNOWN_KEYS[] = {
    "version",
    "graticule",
    "alerts",
    "cursors",
    "common_settings",
    "spectrum_settings",
    "power_setting",
    "power_channel0",
    "reference_channel0",
    "referenceHistory.history",
    "referenceHistory.processedHistory",
    "referenceHistory.alpha",
    "referenceHistory.rollingHistory",
    "referenceHistory.processedRollingHistory",
    "referenceHistory.maxRollPointsNeeded",
    "referenceHistory.timeScaleIndex",
    "referenceHistory.amplitudeScaleIndex",
    "referenceHistory.isValid",
    "demo",
};
constexpr int KNOWN_KEY_COUNT = sizeof KNOWN_KEYS / sizeof KNOWN_KEYS[0];

enum RowKind { ROW_INTEGER = 0, ROW_BOOLEAN = 1, ROW_BLOB = 2, ROW_FOREIGN = 3 };
constexpr uint8_t OP_RAW_KEY = 0x10;
constexpr uint8_t HEADER_FOREIGN_SHAPE = 0x04;
constexpr uint8_t HEADER_CONNECTED = 0x20;
constexpr uint8_t HEADER_CALIBRATION = 0x40;

std::string prefixOf(int slot) { return "config" + std::to_string(slot) + "."; }

std::vector<uint8_t> readBlob(FuzzInput& in) {
  size_t n = in.u8();
  if (n == 0xFF) n = in.u16();
  return in.bytes(n);
}

void writeBlob(FuzzInputWriter& w, const std::vector<uint8_t>& blob) {
  if (blob.size() >= 0xFF) {
    w.u8(0xFF).u16(static_cast<uint16_t>(blob.size()));
  } else {
    w.u8(static_cast<uint8_t>(blob.size()));
  }
  w.append(blob);
}

// One row of the kv table: key, type text and a value of any storage class.
struct Row {
  std::string key;
  std::string type;
  int storage = SQLITE_NULL;
  int64_t integer = 0;
  double real = 0.0;
  std::vector<uint8_t> bytes;  // text or blob
};

std::vector<Row> readRows(FuzzInput& in) {
  std::vector<Row> rows;
  while (!in.empty()) {
    const uint8_t op = in.u8();
    Row row;
    if (op & OP_RAW_KEY) {
      const std::vector<uint8_t> raw = in.bytes(in.u8());
      row.key.assign(raw.begin(), raw.end());
    } else {
      row.key = prefixOf((op >> 2) & 3) + KNOWN_KEYS[in.u8() % KNOWN_KEY_COUNT];
    }
    switch (op & 3) {
      case ROW_INTEGER:
        row.type = "i";
        row.storage = SQLITE_INTEGER;
        row.integer = static_cast<int32_t>(in.u32());
        break;
      case ROW_BOOLEAN:
        row.type = "b";
        row.storage = SQLITE_INTEGER;
        row.integer = in.u8();
        break;
      case ROW_BLOB:
        row.type = "d";
        row.storage = SQLITE_BLOB;
        row.bytes = readBlob(in);
        break;
      default: {
        const std::vector<uint8_t> type = in.bytes(in.u8());
        row.type.assign(type.begin(), type.end());
        static constexpr int STORAGES[] = {SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB, SQLITE_NULL};
        row.storage = STORAGES[in.u8() % 5];
        if (row.storage == SQLITE_INTEGER) {
          row.integer = in.i64();
        } else if (row.storage == SQLITE_FLOAT) {
          const int64_t bits = in.i64();
          std::memcpy(&row.real, &bits, sizeof row.real);
        } else if (row.storage != SQLITE_NULL) {
          row.bytes = readBlob(in);
        }
        break;
      }
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

// Writes the rows into a new database at path; empty string on success.
std::string writeDatabase(const std::string& path, const std::vector<Row>& rows, bool foreignShape) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
    sqlite3_close_v2(db);
    return "harness: cannot create the database";
  }
  // The same table the store creates, or one of another shape.
  const char* schema = foreignShape ? "CREATE TABLE kv (key TEXT PRIMARY KEY NOT NULL, kind TEXT, value, extra)"
                                    : "CREATE TABLE kv (key TEXT PRIMARY KEY NOT NULL, type TEXT NOT NULL, value)";
  std::string failure;
  if (sqlite3_exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK ||
      sqlite3_exec(db, schema, nullptr, nullptr, nullptr) != SQLITE_OK) {
    failure = std::string("harness: cannot create the table: ") + sqlite3_errmsg(db);
  }
  sqlite3_stmt* st = nullptr;
  const char* insert = foreignShape ? "INSERT OR REPLACE INTO kv (key, kind, value) VALUES (?1, ?2, ?3)"
                                    : "INSERT OR REPLACE INTO kv (key, type, value) VALUES (?1, ?2, ?3)";
  if (failure.empty() && sqlite3_prepare_v2(db, insert, -1, &st, nullptr) != SQLITE_OK)
    failure = std::string("harness: cannot prepare: ") + sqlite3_errmsg(db);
  for (size_t i = 0; failure.empty() && i < rows.size(); ++i) {
    const Row& r = rows[i];
    sqlite3_bind_text(st, 1, r.key.data(), static_cast<int>(r.key.size()), SQLITE_STATIC);
    sqlite3_bind_text(st, 2, r.type.data(), static_cast<int>(r.type.size()), SQLITE_STATIC);
    switch (r.storage) {
      case SQLITE_INTEGER:
        sqlite3_bind_int64(st, 3, r.integer);
        break;
      case SQLITE_FLOAT:
        sqlite3_bind_double(st, 3, r.real);
        break;
      case SQLITE_TEXT:
        sqlite3_bind_text(st, 3, reinterpret_cast<const char*>(r.bytes.data()), static_cast<int>(r.bytes.size()),
                          SQLITE_STATIC);
        break;
      case SQLITE_BLOB:
        if (r.bytes.empty())
          sqlite3_bind_zeroblob(st, 3, 0);
        else
          sqlite3_bind_blob(st, 3, r.bytes.data(), static_cast<int>(r.bytes.size()), SQLITE_STATIC);
        break;
      default:
        sqlite3_bind_null(st, 3);
        break;
    }
    // A constraint failure (an empty key is fine, a NULL is not possible here) skips the row.
    sqlite3_step(st);
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
  }
  sqlite3_finalize(st);
  if (failure.empty() && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
    failure = std::string("harness: cannot commit: ") + sqlite3_errmsg(db);
  sqlite3_close_v2(db);
  return failure;
}

// Everything loadConfiguration sets, as bytes (floats compared by their bit patterns).
std::vector<uint8_t> settingsImage(const AnalyzerModel& m) {
  std::vector<uint8_t> out;
  auto raw = [&](const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    out.insert(out.end(), b, b + n);
  };
  auto record = [&](const auto& r) {
    alignas(4) uint8_t bytes[sizeof r];
    recordToBytes(r, bytes);
    raw(bytes, sizeof r);
  };
  const int32_t graticule = m.graticule, alerts = m.alerts;
  raw(&graticule, 4);
  raw(&alerts, 4);
  record(m.cursors);
  record(m.common);
  record(m.spectrum);
  record(m.power);
  record(m.powerChannel);
  record(m.referenceChannel);
  record(m.demo);
  const PowerHistory& ref = m.reference;
  auto floats = [&](const auto& values) {
    const uint64_t n = values.size();
    raw(&n, sizeof n);
    for (float v : values) raw(&v, sizeof v);
  };
  auto vertices = [&](const std::vector<Vertex2>& values) {
    const uint64_t n = values.size();
    raw(&n, sizeof n);
    for (const Vertex2& v : values) {
      raw(&v.x, sizeof v.x);
      raw(&v.y, sizeof v.y);
    }
  };
  const uint64_t histories = ref.history.size(), processed = ref.processedHistory.size();
  raw(&histories, sizeof histories);
  for (const auto& v : ref.history) floats(v);
  raw(&processed, sizeof processed);
  for (const auto& v : ref.processedHistory) vertices(v);
  floats(ref.alpha);
  floats(ref.rollingHistory);
  vertices(ref.processedRollingHistory);
  raw(&ref.maxRollPointsNeeded, 4);
  raw(&ref.timeScaleIndex, 4);
  raw(&ref.amplitudeScaleIndex, 4);
  const uint8_t valid = ref.isValid;
  raw(&valid, 1);
  return out;
}

void put32be(std::vector<uint8_t>& f, size_t offset, float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  for (int i = 0; i < 4; ++i) f[offset + i] = static_cast<uint8_t>(bits >> (24 - 8 * i));
}

// A discover response of a capable accessory of the generation (code 2, 6 or 7).
std::vector<uint8_t> discoverResponse(int code, bool customCalibration, float slope, float offset) {
  std::vector<uint8_t> f;
  if (code == 2) {
    f.assign(68, 0);
    f[8] = f[9] = 1;
    for (int i = 0; i < 8; ++i) put32be(f, 12 + 4 * i, 4.0f * i);  // attenuator steps 0 ... 28 dB
    put32be(f, 44, customCalibration ? slope : 0.5f);                // power slope, offset
    put32be(f, 48, customCalibration ? offset : -110.0f);
    put32be(f, 52, 1.0f);
    put32be(f, 56, 0.0f);
    f[64] = 20;
  } else if (code == 6) {
    f.assign(60, 0);
    f[8] = f[9] = 1;
    for (int i = 0; i < 17; ++i) f[16 + i] = static_cast<uint8_t>(0x10 + i);
    put32be(f, 36, customCalibration ? slope : 0.5f);
    put32be(f, 40, customCalibration ? offset : -105.0f);
    put32be(f, 44, 0.5f);
    put32be(f, 48, -120.0f);
    f[56] = 30;
  } else {
    f.assign(56, 0);
    f[8] = f[9] = f[10] = 1;
    for (int i = 0; i < 12; ++i) f[12 + i] = static_cast<uint8_t>(0x20 + i);
    put32be(f, 24, customCalibration ? slope : 0.5f);
    put32be(f, 28, customCalibration ? offset : -120.0f);
    f[36] = 30;
    put32be(f, 40, 0.5f);
    put32be(f, 44, -125.0f);
    f[52] = 40;
  }
  f[0] = 0xAA;
  f[1] = 0x60;
  f[2] = static_cast<uint8_t>(code);
  return f;
}

// The code that reads the loaded settings next: the configure command and the model's queries.
std::string buildConfigureFromSettings(AnalyzerModel& model, int code, bool customCalibration, float slope,
                                       float offset) {
  std::unique_ptr<AccessoryProtocol> decoder = createAccessoryProtocol(code, &model);
  if (!decoder) return "createAccessoryProtocol refused generation " + std::to_string(code);
  const std::vector<uint8_t> response = discoverResponse(code, customCalibration, slope, offset);
  DeviceInfo info;
  const int rc = decoder->decodeDiscover(response.data(), static_cast<int>(response.size()), &info);
  if (rc != 0) return "decodeDiscover of a well-formed response returned " + std::to_string(rc);
  model.setDeviceInfo(info);

  volatile float sink = model.secondsPerDivision() + model.attenuationOffsetDb();
  sink = sink + (model.isRollMode() ? 1.0f : 0.0f);
  (void)sink;

  const int length = decoder->configureLength();
  std::vector<uint8_t> out(static_cast<size_t>(length) + 16, 0xEE);
  const int written = decoder->buildConfigure(out.data(), length, &model);
  if (written != length)
    return "buildConfigure wrote " + std::to_string(written) + " bytes, configureLength is " + std::to_string(length);
  if (out[0] != 0xAA || out[1] != length || out[2] != 0x02 || out[3] != 0x53)
    return "configure command has a wrong head";
  for (size_t i = static_cast<size_t>(length); i < out.size(); ++i)
    if (out[i] != 0xEE) return "buildConfigure wrote past the length it reported";
  return {};
}

struct Models {
  AnalyzerModel loaded;
  AnalyzerModel reloaded;
};

Models& models() {
  static Models* m = new Models();  // reused: a model holds two 510-row histories
  return *m;
}

std::string checkLoaded(const AnalyzerModel& model) {
  const float interval = model.spectrum.ssidRefreshSeconds;
  if (!(interval == 0.0f || (interval >= 20.0f && interval <= 120.0f)))
    return "ssidRefreshSeconds loaded as " + std::to_string(interval);
  const int band = model.currentBand();
  if (band != BAND_2G4 && band != BAND_5G) return "currentBand() is " + std::to_string(band);
  return {};
}

}  // namespace

std::string runSettingsInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const uint8_t header = in.u8();
  const int slot = header & 3;
  const bool foreignShape = (header & HEADER_FOREIGN_SHAPE) != 0;
  static constexpr int CODES[] = {0, 2, 6, 7};
  const int generation = CODES[(header >> 3) & 3];
  const bool connected = (header & HEADER_CONNECTED) != 0;
  const bool customCalibration = (header & HEADER_CALIBRATION) != 0;
  float slope = 0.0f, offset = 0.0f;
  if (customCalibration) {
    slope = in.f32();
    offset = in.f32();
  }
  const std::vector<Row> rows = readRows(in);

  clearScratchDirectory();
  const std::string path = scratchDirectory() + "/settings.sqlite3";
  if (std::string failure = writeDatabase(path, rows, foreignShape); !failure.empty()) return failure;

  Models& m = models();
  m.loaded.resetSettings();
  m.loaded.setConnected(connected);
  m.loaded.setDeviceInfo(DeviceInfo{});
  std::vector<uint8_t> before;
  {
    eng::UserDefault store(path);
    if (!loadConfiguration(m.loaded, slot, store)) return "loadConfiguration refused slot " + std::to_string(slot);
    if (std::string broken = checkLoaded(m.loaded); !broken.empty()) return broken;
    const int version = store.getIntegerForKey((prefixOf(slot) + "version").c_str(), -1);
    if (version != 0 && version != 1) return "after loading, the slot's version is " + std::to_string(version);

    if (generation != 0) {
      std::string broken = buildConfigureFromSettings(m.loaded, generation, customCalibration, slope, offset);
      if (!broken.empty()) return broken;
    }

    before = settingsImage(m.loaded);
    if (!saveConfiguration(m.loaded, slot, store)) return "saveConfiguration failed";
  }

  // What was saved loads back unchanged, from the file, into a model that starts elsewhere.
  m.reloaded.resetSettings();
  m.reloaded.graticule = 0;
  m.reloaded.spectrum.ssidRefreshSeconds = 0.0f;
  {
    eng::UserDefault store(path);
    if (!loadConfiguration(m.reloaded, slot, store)) return "reloading refused slot " + std::to_string(slot);
    if (store.getIntegerForKey((prefixOf(slot) + "version").c_str(), -1) != SETTINGS_FORMAT_VERSION)
      return "a saved slot does not carry the current format version";
  }
  if (settingsImage(m.reloaded) != before) return "saved and reloaded settings differ from the loaded ones";
  return {};
}

std::vector<Seed> settingsSeeds() {
  std::vector<Seed> seeds;

  // The rows a real save writes: the defaults, and a configuration with a reference trace, as
  // the store holds them (read back through the store from a saved file).
  auto fromSavedModel = [&](const std::string& name, uint8_t header, const AnalyzerModel& model, int slot) {
    clearScratchDirectory();
    const std::string path = scratchDirectory() + "/seed.sqlite3";
    {
      eng::UserDefault store(path);
      saveConfiguration(model, slot, store);
    }
    eng::UserDefault store(path);
    FuzzInputWriter w;
    w.u8(header);
    for (int k = 0; k < KNOWN_KEY_COUNT; ++k) {
      const std::string key = prefixOf(slot) + KNOWN_KEYS[k];
      const uint8_t keySlot = static_cast<uint8_t>(slot << 2);
      if (!store.hasKey(key.c_str())) continue;
      const eng::Data blob = store.getDataForKey(key.c_str(), eng::Data{0xDE, 0xAD});
      if (!(blob.size() == 2 && blob[0] == 0xDE && blob[1] == 0xAD)) {
        w.u8(ROW_BLOB | keySlot).u8(static_cast<uint8_t>(k));
        writeBlob(w, blob);
      } else if (std::strcmp(KNOWN_KEYS[k], "referenceHistory.isValid") == 0) {
        w.u8(ROW_BOOLEAN | keySlot).u8(static_cast<uint8_t>(k)).u8(store.getBoolForKey(key.c_str(), false));
      } else {
        w.u8(ROW_INTEGER | keySlot).u8(static_cast<uint8_t>(k)).u32(static_cast<uint32_t>(store.getIntegerForKey(key.c_str(), 0)));
      }
    }
    seeds.push_back({name, w.bytes()});
  };

  auto model = std::make_unique<AnalyzerModel>();
  fromSavedModel("saved-defaults-slot0", 0x00, *model, 0);
  fromSavedModel("saved-defaults-slot2-gen2", 0x02 | (2 << 3), *model, 2);

  model->power.timebaseIndex = 2;  // roll
  model->common.spectrumMode = 0;
  model->reference.history = {{-50.0f, -40.0f, -30.0f}, {-20.0f, -10.0f}};
  model->reference.processedHistory = {{{0.0f, -50.0f}, {1.0f, -40.0f}}};
  model->reference.alpha = {1.0f, 0.5f};
  model->reference.rollingHistory = {-60.0f, -61.0f, -62.0f, -63.0f};
  model->reference.processedRollingHistory = {{0.0f, -60.0f}, {1.0f, -61.0f}};
  model->reference.maxRollPointsNeeded = 2000;
  model->reference.timeScaleIndex = 3;
  model->reference.amplitudeScaleIndex = 0;
  model->reference.isValid = true;
  fromSavedModel("saved-reference-gen1-connected", 0x01 | (1 << 3) | HEADER_CONNECTED, *model, 1);
  model->power.timebaseIndex = 15;
  model->power.triggerOnPower = 0;
  fromSavedModel("saved-digital-trigger-gen2", 0x03 | (2 << 3), *model, 3);

  // A version-0 slot: an 84-byte spectrum record and an SSID interval that must be raised.
  {
    FuzzInputWriter w;
    w.u8(0x00 | (3 << 3));
    w.u8(ROW_INTEGER).u8(0).u32(0);  // version 0
    std::vector<uint8_t> spectrum(84, 0);
    const float five = 5.0f;
    std::memcpy(spectrum.data() + 76, &five, 4);
    w.u8(ROW_BLOB).u8(5);
    writeBlob(w, spectrum);
    seeds.push_back({"version0-spectrum", w.bytes()});
  }
  // Rows the store never writes: an unknown kind, an integer of the wrong storage class, a
  // key with an embedded NUL and an out-of-range integer.
  {
    FuzzInputWriter w;
    w.u8(0x00);
    w.u8(ROW_INTEGER).u8(0).u32(1);
    w.u8(ROW_FOREIGN).u8(1).u8(1).u8('i').u8(2);  // graticule stored as text
    writeBlob(w, {'3', '1'});
    w.u8(ROW_FOREIGN).u8(2).u8(1).u8('x').u8(0).i64(5);  // alerts of an unknown kind
    w.u8(ROW_FOREIGN).u8(14).u8(1).u8('i').u8(0).i64(int64_t{1} << 40);  // outside int
    const std::string raw = std::string("config0.demo\0tail", 17);
    w.u8(ROW_BLOB | OP_RAW_KEY).u8(static_cast<uint8_t>(raw.size()));
    for (char c : raw) w.u8(static_cast<uint8_t>(c));
    writeBlob(w, {3, 2, 1});
    seeds.push_back({"foreign-rows", w.bytes()});
  }
  // A table of another shape, and a history blob with a count that runs past its end.
  {
    FuzzInputWriter w;
    w.u8(HEADER_FOREIGN_SHAPE);
    w.u8(ROW_INTEGER).u8(0).u32(1);
    seeds.push_back({"foreign-shape", w.bytes()});
  }
  {
    FuzzInputWriter w;
    w.u8(HEADER_CALIBRATION | (1 << 3));
    w.f32(0.0f).f32(-100.0f);  // a zero power slope
    w.u8(ROW_INTEGER).u8(0).u32(1);
    FuzzInputWriter blob;
    blob.u32(3).f32(1).f32(2).f32(3).u32(0x7FFFFFFF).f32(4);
    w.u8(ROW_BLOB).u8(9);
    writeBlob(w, blob.bytes());
    seeds.push_back({"history-count-past-end-zero-slope", w.bytes()});
  }
  clearScratchDirectory();
  return seeds;
}

}  // namespace tarvo::fuzz
