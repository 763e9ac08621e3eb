#include "sim_device.h"

#include <algorithm>
#include <unordered_map>

namespace corvane {

namespace {

const std::string kErr = "ERR";

// "code" + the number padded with zeros to three digits.
std::string with_num3(std::string_view code, int value)
{
    std::string digits = std::to_string(value);
    if (digits.size() < 3)
        digits.insert(0, 3 - digits.size(), '0');
    return std::string(code) + digits;
}

// Exactly three decimal digits, or -1.
int parse_num3(std::string_view text)
{
    if (text.size() != 3)
        return -1;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

bool is_code_char(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Reads or sets a numeric choice lo..hi; "999" reads it.
std::string choice(std::string_view code, int& field, int lo, int hi, int p)
{
    if (p == 999)
        return with_num3(code, field);
    if (p < lo || p > hi)
        return kErr;
    field = p;
    return with_num3(code, field);
}

std::string flag(std::string_view code, bool& field, int p)
{
    int value = field ? 1 : 0;
    std::string reply = choice(code, value, 0, 1, p);
    field = value != 0;
    return reply;
}

Preset capture(const DeviceState& s)
{
    Preset p;
    p.mode = s.mode;
    p.inputs = s.inputs;
    p.resolution = s.resolution;
    p.aspect = s.aspect;
    p.picture = s.picture;
    p.audio_edid = s.audio_edid;
    p.audio_a = s.audio_a;
    p.audio_b = s.audio_b;
    p.audio_quad = s.audio_quad;
    return p;
}

void restore(DeviceState& s, const Preset& p)
{
    s.mode = p.mode;
    s.inputs = p.inputs;
    s.resolution = p.resolution;
    s.aspect = p.aspect;
    s.picture = p.picture;
    s.audio_edid = p.audio_edid;
    s.audio_a = p.audio_a;
    s.audio_b = p.audio_b;
    s.audio_quad = p.audio_quad;
}

bool is_interlaced_1080(int resolution)
{
    return resolution == 5 || resolution == 6;
}

} // namespace

std::vector<std::string> LineFramer::push(std::string_view bytes)
{
    std::vector<std::string> lines;
    for (char c : bytes) {
        if (c == '\n')
            continue;
        if (c == '\r') {
            if (!pending_.empty())
                lines.push_back(pending_);
            pending_.clear();
            continue;
        }
        if (pending_.size() < max_line)
            pending_ += c;
    }
    return lines;
}

std::vector<std::string> SimDevice::feed(std::string_view bytes)
{
    std::vector<std::string> replies;
    for (const std::string& line : framer_.push(bytes)) {
        std::string reply = execute(line);
        if (!reply.empty())
            replies.push_back(std::move(reply));
    }
    return replies;
}

std::string SimDevice::execute(std::string_view line)
{
    received_.emplace_back(line);
    return apply(line);
}

std::string SimDevice::refuse(std::string_view line)
{
    received_.emplace_back(line);
    return kErr + '\r';
}

std::string SimDevice::apply(std::string_view line)
{
    std::string reply = answer(line);
    if (!reply.empty())
        reply += '\r';
    return reply;
}

bool SimDevice::take_restart()
{
    bool pending = restart_pending_;
    restart_pending_ = false;
    return pending;
}

void SimDevice::factory_reset()
{
    DeviceState fresh;
    fresh.resolution_count = state_.resolution_count;
    fresh.bezel_h_limit = state_.bezel_h_limit;
    fresh.bezel_v_limit = state_.bezel_v_limit;
    fresh.version = state_.version;
    fresh.version2 = state_.version2;
    fresh.ip = state_.ip;
    fresh.mask = state_.mask;
    fresh.gateway = state_.gateway;
    state_ = fresh;
}

SimDevice::Handler SimDevice::handler_for(std::string_view code)
{
    static const std::unordered_map<std::string_view, Handler> table = {
        {"MOD", &SimDevice::mode},       {"OUT", &SimDevice::output},    {"INP", &SimDevice::input},
        {"RES", &SimDevice::resolution}, {"BRI", &SimDevice::picture},   {"CON", &SimDevice::picture},
        {"HUE", &SimDevice::picture},    {"SAT", &SimDevice::picture},   {"BEH", &SimDevice::bezel},
        {"BEV", &SimDevice::bezel},      {"PWR", &SimDevice::power},     {"RST", &SimDevice::reset},
        {"VER", &SimDevice::firmware},   {"VR2", &SimDevice::firmware},  {"MNX", &SimDevice::menu_key},
        {"MNE", &SimDevice::menu_key},   {"MNO", &SimDevice::menu_key},  {"MNU", &SimDevice::menu_key},
        {"MND", &SimDevice::menu_key},   {"MNL", &SimDevice::menu_key},  {"MNR", &SimDevice::menu_key},
        {"SAV", &SimDevice::preset},     {"CAL", &SimDevice::preset},    {"HPI", &SimDevice::hdcp},
        {"HPO", &SimDevice::hdcp},       {"PPO", &SimDevice::pip},       {"PSZ", &SimDevice::pip},
        {"EIP", &SimDevice::network},    {"EMK", &SimDevice::network},   {"EGW", &SimDevice::network},
        {"ASP", &SimDevice::simple},     {"BEZ", &SimDevice::simple},    {"AUD", &SimDevice::simple},
        {"AUE", &SimDevice::simple},     {"AUA", &SimDevice::simple},    {"AUB", &SimDevice::simple},
        {"AUQ", &SimDevice::simple},     {"LCK", &SimDevice::simple},    {"LAB", &SimDevice::simple},
        {"PSW", &SimDevice::simple},
    };
    auto it = table.find(code);
    return it == table.end() ? nullptr : it->second;
}

// The reply text without its carriage return; "" for no reply.
std::string SimDevice::answer(std::string_view line)
{
    if (line.size() < 3 || !std::all_of(line.begin(), line.begin() + 3, is_code_char))
        return kErr;
    std::string_view code = line.substr(0, 3);
    if (code == "LAI")
        return label(line.substr(3));

    int p = parse_num3(line.substr(3));
    Handler handler = handler_for(code);
    if (p < 0 || !handler)
        return kErr;
    return (this->*handler)(code, p);
}

// "LAI" + input digit + text sets a label; "LAI991".."LAI994" reads one.
std::string SimDevice::label(std::string_view rest)
{
    if (rest.empty())
        return kErr;
    int input = 0;
    if (rest.size() == 3 && rest.substr(0, 2) == "99" && rest[2] >= '1' && rest[2] <= '4') {
        input = rest[2] - '0';
    } else if (rest[0] >= '1' && rest[0] <= '4') {
        input = rest[0] - '0';
        std::string_view text = rest.substr(1);
        bool printable = std::all_of(text.begin(), text.end(), [](char c) {
            auto u = static_cast<unsigned char>(c);
            return u >= 0x20 && u < 0x7f;
        });
        if (!printable)
            return kErr;
        state_.labels[input - 1] = std::string(text.substr(0, max_label));
    } else {
        return kErr;
    }
    return "LAI" + std::to_string(input) + state_.labels[input - 1];
}

std::string SimDevice::mode(std::string_view code, int p)
{
    if (p >= 2 && p <= 5 && is_interlaced_1080(state_.resolution))
        return kErr;   // 1080i is served in the Matrix mode only
    return choice(code, state_.mode, 1, 5, p);
}

std::string SimDevice::output(std::string_view code, int p)
{
    return choice(code, state_.channel, 1, 4, p);
}

std::string SimDevice::input(std::string_view code, int p)
{
    int& current = state_.inputs[state_.channel - 1];
    if (p == 999)
        return with_num3(code, current);
    if (p < 1 || p > 4)
        return kErr;
    if (state_.mode == 3)
        state_.inputs.fill(p);   // TV Wall: one input on every output
    else
        current = p;
    return with_num3(code, p);
}

std::string SimDevice::resolution(std::string_view code, int p)
{
    if (is_interlaced_1080(p) && state_.mode != 1)
        return kErr;
    return choice(code, state_.resolution, 1, std::min(state_.resolution_count, 99), p);
}

// Matrix: p is the value 0..100 of the whole picture, "999" reads it.
// Other modes: p = 200 * (channel - 1) + value; "991".."994" read a channel,
// "999" reads the current output channel.
std::string SimDevice::picture(std::string_view code, int p)
{
    int Picture::*member = code == "BRI"   ? &Picture::brightness
                           : code == "CON" ? &Picture::contrast
                           : code == "HUE" ? &Picture::hue
                                           : &Picture::saturation;
    if (state_.mode == 1) {
        int& value = state_.picture[0].*member;
        if (p == 999)
            return with_num3(code, value);
        if (p > 100)
            return kErr;
        value = p;
        return with_num3(code, value);
    }

    int channel = 0;
    if (p >= 991 && p <= 994)
        channel = p - 990;
    else if (p == 999)
        channel = state_.channel;
    if (channel) {
        int value = state_.picture[channel - 1].*member;
        return with_num3(code, 200 * (channel - 1) + value);
    }
    if (p > 700 || p % 200 > 100)
        return kErr;
    channel = p / 200 + 1;
    state_.picture[channel - 1].*member = p % 200;
    return with_num3(code, p);
}

// A correction above the limit is cut to the limit; "998" reads the limit.
std::string SimDevice::bezel(std::string_view code, int p)
{
    bool horizontal = code == "BEH";
    int& value = horizontal ? state_.bezel_h : state_.bezel_v;
    int limit = std::clamp(horizontal ? state_.bezel_h_limit : state_.bezel_v_limit, 0, 254);
    if (p == 998)
        return with_num3(code, limit);
    if (p == 999)
        return with_num3(code, value);
    if (p > 254)
        return kErr;
    value = std::min(p, limit);
    return with_num3(code, value);
}

std::string SimDevice::power(std::string_view code, int p)
{
    if (p == 1 && !state_.power_on)
        restart_pending_ = true;   // waking from standby boots the device
    return flag(code, state_.power_on, p);
}

std::string SimDevice::reset(std::string_view code, int p)
{
    if (p == 1) {
        factory_reset();
        restart_pending_ = true;
    } else if (p == 2) {
        for (Picture& picture : state_.picture)
            picture = Picture{};
    } else {
        return kErr;
    }
    return with_num3(code, p);
}

std::string SimDevice::firmware(std::string_view code, int p)
{
    if (p != 999)
        return kErr;
    return std::string(code) + (code == "VER" ? state_.version : state_.version2);
}

std::string SimDevice::menu_key(std::string_view code, int p)
{
    return p == 1 ? with_num3(code, p) : kErr;
}

std::string SimDevice::preset(std::string_view code, int p)
{
    if (p < 1 || p > 4)
        return kErr;
    Preset& slot = state_.presets[p - 1];
    if (code == "SAV") {
        slot = capture(state_);
    } else {
        if (slot.mode != 1 && is_interlaced_1080(slot.resolution))
            return kErr;
        restore(state_, slot);
    }
    return with_num3(code, p);
}

// "HPI0" + input + value sets, "HPI99" + input reads; "HPO" likewise per output.
std::string SimDevice::hdcp(std::string_view code, int p)
{
    std::array<int, 4>& values = code == "HPI" ? state_.hdcp_in : state_.hdcp_out;
    int n = 0;
    if (p >= 991 && p <= 994) {
        n = p - 990;
    } else {
        n = p / 10;
        if (n < 1 || n > 4 || p % 10 > 1)
            return kErr;
        values[n - 1] = p % 10;
    }
    return with_num3(code, n * 10 + values[n - 1]);
}

// "PPO0" + window + corner, "PSZ0" + window + size; window 1 is PiP A, 2 PiP B.
std::string SimDevice::pip(std::string_view code, int p)
{
    std::array<int, 2>& values = code == "PPO" ? state_.pip_corner : state_.pip_size;
    int n = 0;
    if (p == 991 || p == 992) {
        n = p - 990;
    } else {
        n = p / 10;
        if (n < 1 || n > 2 || p % 10 > 3)
            return kErr;
        values[n - 1] = p % 10;
    }
    return with_num3(code, n * 10 + values[n - 1]);
}

// The network queries answer with the bare dotted address, no code in front.
std::string SimDevice::network(std::string_view code, int p)
{
    if (p != 999)
        return kErr;
    return code == "EIP" ? state_.ip : code == "EMK" ? state_.mask : state_.gateway;
}

std::string SimDevice::simple(std::string_view code, int p)
{
    if (code == "ASP")
        return choice(code, state_.aspect, 0, 4, p);
    if (code == "BEZ")
        return flag(code, state_.bezel_on, p);
    if (code == "AUD")
        return flag(code, state_.audio_on, p);
    if (code == "AUE")
        return choice(code, state_.audio_edid, 0, 4, p);
    if (code == "AUA")
        return choice(code, state_.audio_a, 1, 2, p);
    if (code == "AUB")
        return choice(code, state_.audio_b, 1, 2, p);
    if (code == "AUQ")
        return choice(code, state_.audio_quad, 1, 4, p);
    if (code == "LCK")
        return flag(code, state_.key_lock, p);
    if (code == "LAB")
        return flag(code, state_.labels_on, p);
    if (code == "PSW")
        return p == 1 || p == 2 ? with_num3(code, p) : kErr;
    return kErr;
}

std::string SimDevice::dump() const
{
    const DeviceState& s = state_;
    std::string out;
    auto put = [&out](std::string_view key, const std::string& value) {
        out.append(key).append("=").append(value).append("\n");
    };
    auto num = [](int v) { return std::to_string(v); };

    put("power", num(s.power_on));
    put("mode", num(s.mode));
    put("channel", num(s.channel));
    for (int i = 0; i < 4; ++i)
        put("input" + num(i + 1), num(s.inputs[i]));
    put("resolution", num(s.resolution));
    put("aspect", num(s.aspect));
    for (int i = 0; i < 4; ++i) {
        const Picture& p = s.picture[i];
        put("bri" + num(i + 1), num(p.brightness));
        put("con" + num(i + 1), num(p.contrast));
        put("hue" + num(i + 1), num(p.hue));
        put("sat" + num(i + 1), num(p.saturation));
    }
    put("bezel_on", num(s.bezel_on));
    put("bezel_h", num(s.bezel_h));
    put("bezel_v", num(s.bezel_v));
    put("bezel_h_limit", num(s.bezel_h_limit));
    put("bezel_v_limit", num(s.bezel_v_limit));
    put("audio_on", num(s.audio_on));
    put("audio_edid", num(s.audio_edid));
    put("audio_a", num(s.audio_a));
    put("audio_b", num(s.audio_b));
    put("audio_quad", num(s.audio_quad));
    put("key_lock", num(s.key_lock));
    for (int i = 0; i < 4; ++i)
        put("hdcp_in" + num(i + 1), num(s.hdcp_in[i]));
    for (int i = 0; i < 4; ++i)
        put("hdcp_out" + num(i + 1), num(s.hdcp_out[i]));
    put("labels_on", num(s.labels_on));
    for (int i = 0; i < 4; ++i)
        put("label" + num(i + 1), s.labels[i]);
    put("pip_corner_a", num(s.pip_corner[0]));
    put("pip_corner_b", num(s.pip_corner[1]));
    put("pip_size_a", num(s.pip_size[0]));
    put("pip_size_b", num(s.pip_size[1]));
    put("version", s.version);
    put("version2", s.version2);
    put("ip", s.ip);
    put("mask", s.mask);
    put("gateway", s.gateway);
    return out;
}

} // namespace corvane
