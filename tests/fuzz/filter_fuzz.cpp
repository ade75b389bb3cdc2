// libFuzzer target for the filter language, with code page 932's lead bytes:
//  - a parse writes nothing outside its exactly sized filter and error
//    buffers; a refused expression leaves the filter as it was and says why;
//  - an accepted filter matches arbitrary fields without a fault, exactly
//    when each of its terms alone does, and each term negated matches exactly
//    when the term does not; the empty filter matches everything;
//  - an appended term leaves a parsing expression parsing, with one term
//    more, which names its value; a refused one changes nothing.
// Input: a byte of choices, then the expression, the appended value, host,
// sender (each a length-prefixed string) and the rest as the message text.
#include "syslog/filter.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/cp932_lead_bytes.h"
#include "tests/fuzz/fuzz_target.h"

extern const char kTargetName[] = "filter";

namespace {

const LeadBytes kLeadBytes = CodePage932();
const unsigned char kUntouched = 0xA5;

bool Matches(const Filter* filter, const FilterFields* fields) {
    return FilterMatches(filter, fields, &kLeadBytes);
}

// Parses into exactly sized heap buffers; the filter starts as kUntouched bytes.
bool Parse(const std::string& expression, Filter* filter, size_t errorSize) {
    Filter* exact = static_cast<Filter*>(malloc(sizeof(Filter)));
    memset(exact, kUntouched, sizeof(Filter));
    char* error = static_cast<char*>(malloc(errorSize > 0 ? errorSize : 1));
    const bool parsed = ParseFilter(expression.c_str(), exact, errorSize > 0 ? error : nullptr, errorSize);
    if (parsed) {
        Check(exact->termCount >= 0 && exact->termCount <= kMaxFilterTerms, "term count in range");
    } else {
        for (size_t i = 0; i < sizeof(Filter); i++)
            Check(reinterpret_cast<unsigned char*>(exact)[i] == kUntouched, "a refused filter is untouched");
        if (errorSize > 0)
            Check(memchr(error, '\0', errorSize) != nullptr, "the error ends inside its buffer");
        if (errorSize == kFilterErrorSize) Check(error[0] != '\0', "a refusal says why");
    }
    memcpy(filter, exact, sizeof(Filter));
    free(error);
    free(exact);
    return parsed;
}

void CheckTerms(const Filter& filter, const FilterFields& fields) {
    bool all = true;
    for (int i = 0; i < filter.termCount; i++) {
        Filter one = filter;
        one.termCount = 1;
        one.terms[0] = filter.terms[i];
        const bool holds = Matches(&one, &fields);
        one.terms[0].negated = !one.terms[0].negated;
        Check(Matches(&one, &fields) == !holds, "a negated term matches exactly when the term does not");
        all = all && holds;
    }
    Check(Matches(&filter, &fields) == all, "a filter matches when every term does");
}

void CheckAppend(const std::string& start, bool parsed, unsigned choices, const std::string& value) {
    static const char* const kKeys[] = {"host", "from", "sev", "fac"};
    const bool exact = (choices & 4) != 0, negated = (choices & 8) != 0;
    const size_t size = choices & 16 ? kMaxFilterText : start.size() + 1 + value.size() / 2 + 8;
    if (start.size() + 1 > size) return;
    std::vector<char> expression(size, static_cast<char>(kUntouched));
    memcpy(expression.data(), start.c_str(), start.size() + 1);
    const std::vector<char> before = expression;
    if (!AppendFilterTerm(expression.data(), size, kKeys[choices & 3], exact, negated, value.c_str())) {
        Check(expression == before, "a refused term changes nothing");
        return;
    }
    Check(memcmp(expression.data(), start.data(), start.size()) == 0, "the term comes after the expression");
    Filter old, after;
    if (!parsed || !Parse(start, &old, 0)) return;
    Check(Parse(expression.data(), &after, 0), "an appended term parses");
    Check(after.termCount == old.termCount + 1, "one term more");
    if (choices & 2) return;  // sev: and fac: name no host or sender
    after.terms[0] = after.terms[after.termCount - 1];
    after.termCount = 1;
    const FilterFields named = {value.c_str(), value.c_str(), "", 0, false, 0, 0};
    Check(Matches(&after, &named) == !negated, "the term names the host or sender that is its value");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const unsigned choices = input.ConsumeIntegral<uint8_t>();
    // The C strings the functions see: up to the first NUL.
    const std::string expression = input.ConsumeRandomLengthString(2 * kMaxFilterText).c_str();
    const std::string value = input.ConsumeRandomLengthString(kMaxFilterText).c_str();
    const std::string host = input.ConsumeRandomLengthString(300).c_str();
    const std::string from = input.ConsumeRandomLengthString(80).c_str();
    const std::string text = input.ConsumeRemainingBytesAsString();
    const size_t errorSize = choices & 32 ? kFilterErrorSize : Hash(data, size) % (kFilterErrorSize + 1);

    Filter filter;
    const bool parsed = Parse(expression, &filter, errorSize);
    if (errorSize != kFilterErrorSize)
        Check(Parse(expression, &filter, kFilterErrorSize) == parsed, "the same answer");

    // Fields in exactly sized buffers; the text's byte after its end is a NUL.
    std::vector<char> hostBytes(host.c_str(), host.c_str() + host.size() + 1);
    std::vector<char> fromBytes(from.c_str(), from.c_str() + from.size() + 1);
    std::vector<char> textBytes(text.begin(), text.end());
    textBytes.push_back('\0');
    const FilterFields fields = {hostBytes.data(),
                                 fromBytes.data(),
                                 textBytes.data(),
                                 text.size(),
                                 (choices & 64) != 0,
                                 static_cast<int>(Hash(data, size) >> 8 & 0xF8),
                                 static_cast<int>(Hash(data, size) >> 16 & 7)};
    if (parsed) {
        Check(FilterIsEmpty(&filter) == (filter.termCount == 0), "empty means no terms");
        CheckTerms(filter, fields);
    }
    Filter empty;
    Check(Parse(std::string(choices & 7, ' '), &empty, 0) && FilterIsEmpty(&empty),
          "blanks give the empty filter");
    Check(Matches(&empty, &fields), "the empty filter matches everything");

    // Onto an expression that parses (or the empty one), and onto one that does not.
    CheckAppend(parsed ? expression : std::string(), true, choices, value);
    if (!parsed) CheckAppend(expression, false, choices, value);
    return 0;
}
