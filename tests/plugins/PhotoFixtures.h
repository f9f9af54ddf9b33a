// A Shotwell library for the photo tests: the tables the real Shotwell made (the fixture
// tests/data/shotwell/schema.sql, see make-schema.sh beside it), rows added with sqlite3.
#pragma once

#include <initializer_list>
#include <string>

#include "MailFixtures.h"
#include "TestUtil.h"

namespace pelcrow::test {

inline std::string PhotoScripts() { return std::string(PELCROW_TEST_DATA_DIR) + "/../../photoscripts"; }

inline std::string Quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

class TShotwellLibrary {
 public:
  explicit TShotwellLibrary(const TTempDir& dir) : Db(dir / "shotwell/data/photo.db") {
    RunOutput("mkdir -p " + Quoted(dir / "shotwell/data") + " && sqlite3 " + Quoted(Db) + " < " +
              Quoted(std::string(PELCROW_TEST_DATA_DIR) + "/shotwell/schema.sql"));
  }
  // Runs SQL on the library; what sqlite3 printed.
  std::string Sql(const std::string& sql) const { return RunOutput("sqlite3 " + Quoted(Db) + " " + Quoted(sql)); }
  void Event(int id, const std::string& name) const {
    Sql("insert into EventTable (id, name, primary_photo_id, time_created) values (" + std::to_string(id) + ", '" +
        name + "', -1, 0)");
  }
  // A photo of the event (-1: none), as Shotwell's import writes the row.
  void Photo(int id, const std::string& file, int event, long long exposure = 1600000000, int flags = 0) const {
    Sql("insert into PhotoTable (id, filename, width, height, filesize, timestamp, exposure_time, orientation, "
        "original_orientation, import_id, event_id, transformations, md5, time_created, flags, rating, file_format) "
        "values (" + std::to_string(id) + ", '" + file + "', 640, 480, 0, 1000, " + std::to_string(exposure) +
        ", 1, 1, 1, " + std::to_string(event) + ", NULL, NULL, 0, " + std::to_string(flags) + ", 0, 0)");
  }
  // A tag holding the photos, in Shotwell's list form ("thumb" and 16 hex digits per photo).
  void Tag(int id, const std::string& name, std::initializer_list<int> photos) const {
    std::string list;
    for (int p : photos) {
      char buf[32];
      std::snprintf(buf, sizeof buf, "thumb%016x,", p);
      list += buf;
    }
    Sql("insert into TagTable (id, name, photo_id_list, time_created) values (" + std::to_string(id) + ", '" + name +
        "', '" + list + "', 0)");
  }
  // The photo's trash flag as Shotwell reads it ("1" in the trash, "0" not).
  std::string Trashed(int id) const {
    return Sql("select (flags & 4) <> 0 from PhotoTable where id = " + std::to_string(id));
  }
  std::string Db;
};

}  // namespace pelcrow::test
