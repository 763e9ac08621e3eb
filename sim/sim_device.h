// Plain C++ model of a Corvane video processor: its state and its ASCII command protocol.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// Brightness, contrast, hue and saturation of one picture, each 0..100.
struct Picture {
    int brightness = 50;
    int contrast = 50;
    int hue = 50;
    int saturation = 50;

    bool operator==(const Picture&) const = default;
};

// The settings a preset stores ("SAVn") and brings back ("CALn").
struct Preset {
    int mode = 1;
    std::array<int, 4> inputs{1, 2, 3, 4};
    int resolution = 3;
    int aspect = 0;
    std::array<Picture, 4> picture{};
    int audio_edid = 0;
    int audio_a = 1;
    int audio_b = 1;
    int audio_quad = 1;

    bool operator==(const Preset&) const = default;
};

// Everything the device holds. Tests read and write it directly.
struct DeviceState {
    bool power_on = true;
    int mode = 1;                            // 1 Matrix, 2 Dual PoP, 3 TV Wall, 4 Dual PiP, 5 Quad
    int channel = 1;                         // current output channel 1..4 ("OUT")
    std::array<int, 4> inputs{1, 2, 3, 4};   // input feeding channel 1..4; TV Wall sets all four
    int resolution = 3;                      // 1..resolution_count; 5 and 6 are 1080i (Matrix only)
    int resolution_count = 30;
    int aspect = 0;                          // 0..4
    std::array<Picture, 4> picture{};        // per channel; Matrix uses picture[0] for the whole picture
    int bezel_h = 0;
    int bezel_v = 0;
    int bezel_h_limit = 200;                 // at most 254
    int bezel_v_limit = 150;                 // at most 254
    bool bezel_on = false;
    bool audio_on = true;                    // false: muted
    int audio_edid = 0;                      // 0 2CH, 1 6CH, 2 8CH, 3 Bitstream, 4 HD
    int audio_a = 1;                         // dual picture A audio: 1 left/main, 2 right/sub
    int audio_b = 1;
    int audio_quad = 1;                      // quad audio from picture 1..4
    bool key_lock = false;
    std::array<Preset, 4> presets{};
    std::array<int, 4> hdcp_in{0, 0, 0, 0};  // per input: 0 HDCP on, 1 off
    std::array<int, 4> hdcp_out{0, 0, 0, 0}; // per output: 0 follow input, 1 follow output
    bool labels_on = false;
    std::array<std::string, 4> labels{"HDMI 1", "HDMI 2", "HDMI 3", "HDMI 4"}; // at most 12 chars
    std::array<int, 2> pip_corner{1, 2};     // PiP A, B: 0 upper left, 1 upper right, 2 lower right, 3 lower left
    std::array<int, 2> pip_size{1, 1};       // PiP A, B: 0 large, 1 medium, 2 small, 3 off
    std::string version = "123";             // "VER123" means 1.23
    std::string version2 = " 12";            // three characters after "VR2"
    std::string ip = "192.168.001.100";
    std::string mask = "255.255.255.000";
    std::string gateway = "192.168.001.001";
};

// Cuts a byte stream into command lines at carriage return; line feeds are dropped
// and empty lines are skipped.
class LineFramer {
public:
    static constexpr std::size_t max_line = 256;   // longer lines are cut

    std::vector<std::string> push(std::string_view bytes);
    void clear() { pending_.clear(); }
    const std::string& pending() const { return pending_; }

private:
    std::string pending_;
};

class SimDevice {
public:
    static constexpr std::size_t max_label = 12;

    SimDevice() = default;
    explicit SimDevice(const DeviceState& initial) : state_(initial) {}

    DeviceState& state() { return state_; }
    const DeviceState& state() const { return state_; }

    // Takes raw bytes, returns the reply lines (each ending in "\r") of every command completed.
    std::vector<std::string> feed(std::string_view bytes);

    // One command line without its carriage return: logs it, carries it out and returns
    // the reply with its carriage return ("" when the command has no reply).
    std::string execute(std::string_view line);
    // Logs a line that is refused without being looked at; returns "ERR\r".
    std::string refuse(std::string_view line);
    // Carries out a line without logging it (a change made on the device's own front panel).
    std::string apply(std::string_view line);

    const std::vector<std::string>& received() const { return received_; }
    void clear_received() { received_.clear(); }

    // Set by "RST001" and by "PWR001" from standby: the device restarts after its reply.
    bool restart_pending() const { return restart_pending_; }
    bool take_restart();

    // Back to the factory settings; firmware, network and bezel limits stay.
    void factory_reset();

    // The state as "key=value" lines, one per setting.
    std::string dump() const;

private:
    using Handler = std::string (SimDevice::*)(std::string_view code, int param);

    std::string answer(std::string_view line);
    std::string label(std::string_view rest);

    std::string mode(std::string_view code, int p);
    std::string output(std::string_view code, int p);
    std::string input(std::string_view code, int p);
    std::string resolution(std::string_view code, int p);
    std::string picture(std::string_view code, int p);
    std::string bezel(std::string_view code, int p);
    std::string power(std::string_view code, int p);
    std::string reset(std::string_view code, int p);
    std::string firmware(std::string_view code, int p);
    std::string menu_key(std::string_view code, int p);
    std::string preset(std::string_view code, int p);
    std::string hdcp(std::string_view code, int p);
    std::string pip(std::string_view code, int p);
    std::string network(std::string_view code, int p);
    std::string simple(std::string_view code, int p);

    static Handler handler_for(std::string_view code);

    DeviceState state_;
    LineFramer framer_;
    std::vector<std::string> received_;
    bool restart_pending_ = false;
};

} // namespace corvane
