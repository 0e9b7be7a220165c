// The mode list (mode number -> mode index) and the value sets' node
// positions, for the library's own use.
#ifndef ZEL_MODE_LIST_H
#define ZEL_MODE_LIST_H

#include <cstdint>

struct Database;

namespace zel {

// Remembers where the last lookup in a table of keys landed. Translators
// name modes and nodes in runs (the same one again, or the next one), so
// the next lookup first tries the same entry and the one after it, which
// spares the full lookup (a linear scan or a hash probe that misses the
// cache). A guess is trusted only while every key in the table is known
// to be distinct: then an entry holding the key is the one the full
// lookup would find. Entries added since the last call are checked
// against the full lookup once each; a shorter table is checked afresh.
// Tables are only ever appended to, cut short, or have their keys
// permuted or renumbered to distinct values in place, none of which can
// make a trusted guess wrong.
class LookupMemo {
 public:
  // The guess alone: the index of `key` when the table is as last seen
  // and the entry of the last lookup, or the one after it, holds the key;
  // else -1 (then find() knows more).
  template <class KeyAt>
  int32_t guess(int32_t key, int32_t count, KeyAt &&key_at) {
    // last_ < count = certified_ here: it is -1 or an index found since
    // the table last shrank.
    if (count != certified_ || last_ < 0) return -1;
    if (key_at(last_) == key) return last_;
    if (last_ + 1 < count && key_at(last_ + 1) == key) return ++last_;
    return -1;
  }

  // `key_at(i)` is the key of entry i of `count`; `full_lookup(key)` the
  // index the table's own lookup gives (first entry with the key), or -1.
  template <class KeyAt, class FullLookup>
  int32_t find(int32_t key, int32_t count, KeyAt &&key_at, FullLookup &&full_lookup) {
    if (count != certified_) certify(count, key_at, full_lookup);
    const int32_t guessed = guess(key, count, key_at);
    if (guessed >= 0) return guessed;
    const int32_t found = full_lookup(key);
    if (found >= 0 && distinct_) last_ = found;
    return found;
  }

 private:
  template <class KeyAt, class FullLookup>
  void certify(int32_t count, KeyAt &key_at, FullLookup &full_lookup) {
    if (count < certified_) {
      certified_ = 0;
      distinct_ = true;
      last_ = -1;
    }
    for (; certified_ < count; ++certified_) {
      if (distinct_ && full_lookup(key_at(certified_)) != certified_) {
        distinct_ = false;
        last_ = -1;
      }
    }
  }

  int32_t last_ = -1;  // -1 while no guess may be trusted
  int32_t certified_ = 0;  // entries checked so far
  bool distinct_ = true;   // no key among them repeats an earlier one
};

// Mode index of the first mode numbered `number`, or -1.
int32_t find_mode(const Database &db, int32_t number);

// Creates the temporary store of value set `set` unless it exists: the
// database's max_modes slots of expected_nodes records, in the precision
// of its file. False after the store's messages.
bool OpenTempStore(Database &db, int set);

}  // namespace zel

#endif  // ZEL_MODE_LIST_H
