#include "cli/plan_line.h"

#include <cmath>

#include "cli/json.h"

namespace qv::cli {

std::string planLineText(const PlanLine& line) {
    JsonObject o;
    o.number("index", line.index).text("source", line.job.source).text("result", line.job.dest);
    if (!line.makeFolder.empty()) o.text("make_folder", line.makeFolder);
    if (line.job.stamp)
        o.number("stamp_sec", line.job.stamp->tv_sec).number("stamp_nsec", line.job.stamp->tv_nsec);
    o.textLists("passes", line.job.passes);
    if (!line.job.refused.empty()) o.text("refused", line.job.refused);
    return o.line();
}

std::optional<PlanLine> parsePlanLine(std::string_view text, std::string* error) {
    const auto fail = [error](const std::string& why) -> std::optional<PlanLine> {
        if (error) *error = why;
        return std::nullopt;
    };
    const std::optional<JsonValue> root = parseJson(text);
    if (!root) return fail("JSON として読めません");
    PlanLine line;
    const JsonValue* index = root->member("index");
    const JsonValue* source = root->member("source");
    const JsonValue* result = root->member("result");
    const JsonValue* passes = root->member("passes");
    if (!index || !index->number() || !source || !source->bytes() || !result || !result->bytes() ||
        !passes || !passes->array())
        return fail("index, source, result, passes のどれかがありません");
    line.index = static_cast<int>(*index->number());
    line.job.source = *source->bytes();
    line.job.dest = *result->bytes();
    for (const JsonValue& pass : *passes->array()) {
        if (!pass.array()) return fail("passes の形が違います");
        std::vector<std::string> args;
        for (const JsonValue& arg : *pass.array()) {
            if (!arg.bytes()) return fail("passes の形が違います");
            args.push_back(*arg.bytes());
        }
        line.job.passes.push_back(std::move(args));
    }
    if (const JsonValue* f = root->member("make_folder"); f && f->bytes())
        line.makeFolder = *f->bytes();
    const JsonValue* sec = root->member("stamp_sec");
    const JsonValue* nsec = root->member("stamp_nsec");
    if (sec && sec->number() && nsec && nsec->number() && *nsec->number() >= 0 &&
        *nsec->number() < 1e9)
        line.job.stamp =
            timespec{static_cast<time_t>(*sec->number()), static_cast<long>(*nsec->number())};
    if (const JsonValue* r = root->member("refused"); r && r->bytes())
        line.job.refused = *r->bytes();
    if (line.job.source.empty() || line.job.dest.empty() ||
        (line.job.refused.empty() && line.job.passes.empty()))
        return fail("変換元か変換結果か引数がありません");
    return line;
}

}  // namespace qv::cli
