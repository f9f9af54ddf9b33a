// Method calls on the user's D-Bus session bus. They are made by GLib's gdbus tool through the
// process launcher (no client library to link, and a hung peer costs a killed child, not a hung
// program): arguments and replies travel in GVariant's text form.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelcrow::platform {

// A string as a GVariant text literal.
std::string GVariantQuote(std::string_view Text);
// Every string literal of a GVariant text, unescaped, in order.
std::vector<std::string> GVariantStrings(std::string_view Text);
// The value of Key in a printed a{sv}: the text inside its <...> ("uint32 7", "4.0", "'x'"); none
// when the key is absent.
std::optional<std::string> GVariantDictValue(std::string_view Text, std::string_view Key);
// The number in a value text, type annotation ("uint32 ") skipped; 0 when it holds none.
double GVariantNumber(std::string_view Value);

class TSessionBus {
 public:
  explicit TSessionBus(int TimeoutMs = 10000) : fTimeoutMs(TimeoutMs) {}
  // Calls Method ("interface.Name") of Path at Dest with arguments in GVariant text. True with
  // the reply text; false (the reply then holds nothing) when the call failed or gdbus is missing.
  // A name that nobody owns may be started by the bus: ask NameHasOwner first where that matters.
  bool Call(const std::string& Dest, const std::string& Path, const std::string& Method,
            const std::vector<std::string>& Args, std::string& Reply) const;
  bool NameHasOwner(const std::string& Name) const;
  // The process that owns the name; 0 when none does.
  int NameOwnerPid(const std::string& Name) const;

 private:
  int fTimeoutMs;
};

}  // namespace pelcrow::platform
