// Binary interface of the CLAP plug-in standard (version 1.2), written from its published
// structures, identifiers and calling rules: the parts our plug-ins and our own hosts use.
// Both sides use it: the plug-ins' CLAP face and the command-line host's CLAP loader.
//
// Every record is plain C with the standard's names, so that a plug-in or a host built
// against the published headers meets the same layout; the static_asserts at the end
// pin the sizes and offsets of the 64-bit Linux ABI.
//
// The thread each call may come on is the standard's and is repeated beside it:
// [main] the host's main thread, [audio] its audio thread (one at a time per instance),
// [any] any thread.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

// ---- Versions, identifiers, fixed-point time ------------------------------------------

struct clap_version {
    uint32_t major;
    uint32_t minor;
    uint32_t revision;
};
typedef clap_version clap_version_t;

inline constexpr clap_version_t CLAP_VERSION{1, 2, 2};
// Versions 0.x were the standard's drafts, with another binary interface.
constexpr bool clap_version_is_compatible(clap_version_t v) { return v.major >= 1; }

typedef uint32_t clap_id;
inline constexpr clap_id CLAP_INVALID_ID = UINT32_MAX;

// Positions in beats and seconds, as fixed point with 31 fraction bits.
typedef int64_t clap_beattime;
typedef int64_t clap_sectime;
inline constexpr int64_t CLAP_BEATTIME_FACTOR = int64_t{1} << 31;
inline constexpr int64_t CLAP_SECTIME_FACTOR = int64_t{1} << 31;

// Seconds since 1970; 0 when not known.
typedef uint64_t clap_timestamp;
inline constexpr clap_timestamp CLAP_TIMESTAMP_UNKNOWN = 0;

// Text fields' sizes, terminating zero included.
inline constexpr std::size_t CLAP_NAME_SIZE = 256;
inline constexpr std::size_t CLAP_PATH_SIZE = 1024;

// ---- Host ------------------------------------------------------------------------------

struct clap_host {
    clap_version_t clap_version;
    void* host_data;  // the host's own
    const char* name;     // required
    const char* vendor;
    const char* url;
    const char* version;  // required
    // An extension of the host's by id, or null. [any], from the plug-in's init on.
    const void* (*get_extension)(const clap_host* host, const char* extension_id);
    // Deactivate and activate the plug-in again, later. [any]
    void (*request_restart)(const clap_host* host);
    // Activate and process the plug-in. [any]
    void (*request_process)(const clap_host* host);
    // Call the plug-in's on_main_thread soon. [any]
    void (*request_callback)(const clap_host* host);
};
typedef clap_host clap_host_t;

// ---- Events ----------------------------------------------------------------------------

// Every event starts with this header; `size` covers the whole event, and an event is
// copied as `size` bytes.
struct clap_event_header {
    uint32_t size;
    uint32_t time;      // the frame in the block
    uint16_t space_id;  // CLAP_CORE_EVENT_SPACE_ID for the events below
    uint16_t type;
    uint32_t flags;     // CLAP_EVENT_IS_LIVE, CLAP_EVENT_DONT_RECORD
};
typedef clap_event_header clap_event_header_t;

inline constexpr uint16_t CLAP_CORE_EVENT_SPACE_ID = 0;

enum {
    CLAP_EVENT_IS_LIVE = 1 << 0,
    CLAP_EVENT_DONT_RECORD = 1 << 1,  // a change made by a MIDI controller: not automation to record
};

enum {
    CLAP_EVENT_NOTE_ON = 0,
    CLAP_EVENT_NOTE_OFF = 1,
    CLAP_EVENT_NOTE_CHOKE = 2,
    CLAP_EVENT_NOTE_END = 3,
    CLAP_EVENT_NOTE_EXPRESSION = 4,
    CLAP_EVENT_PARAM_VALUE = 5,
    CLAP_EVENT_PARAM_MOD = 6,
    CLAP_EVENT_PARAM_GESTURE_BEGIN = 7,
    CLAP_EVENT_PARAM_GESTURE_END = 8,
    CLAP_EVENT_TRANSPORT = 9,
    CLAP_EVENT_MIDI = 10,
    CLAP_EVENT_MIDI_SYSEX = 11,
    CLAP_EVENT_MIDI2 = 12,
};

// Note on, off, choke and end. -1 in a field matches any.
struct clap_event_note {
    clap_event_header_t header;
    int32_t note_id;
    int16_t port_index;
    int16_t channel;   // 0..15
    int16_t key;       // 0..127
    double velocity;   // 0..1
};
typedef clap_event_note clap_event_note_t;

struct clap_event_note_expression {
    clap_event_header_t header;
    int32_t expression_id;
    int32_t note_id;
    int16_t port_index;
    int16_t channel;
    int16_t key;
    double value;
};
typedef clap_event_note_expression clap_event_note_expression_t;

struct clap_event_param_value {
    clap_event_header_t header;
    clap_id param_id;
    void* cookie;  // the param info's cookie, or null
    int32_t note_id;
    int16_t port_index;
    int16_t channel;
    int16_t key;
    double value;
};
typedef clap_event_param_value clap_event_param_value_t;

struct clap_event_param_mod {
    clap_event_header_t header;
    clap_id param_id;
    void* cookie;
    int32_t note_id;
    int16_t port_index;
    int16_t channel;
    int16_t key;
    double amount;
};
typedef clap_event_param_mod clap_event_param_mod_t;

// The start and end of a user's adjustment of a parameter.
struct clap_event_param_gesture {
    clap_event_header_t header;
    clap_id param_id;
};
typedef clap_event_param_gesture clap_event_param_gesture_t;

enum {
    CLAP_TRANSPORT_HAS_TEMPO = 1 << 0,
    CLAP_TRANSPORT_HAS_BEATS_TIMELINE = 1 << 1,
    CLAP_TRANSPORT_HAS_SECONDS_TIMELINE = 1 << 2,
    CLAP_TRANSPORT_HAS_TIME_SIGNATURE = 1 << 3,
    CLAP_TRANSPORT_IS_PLAYING = 1 << 4,
    CLAP_TRANSPORT_IS_RECORDING = 1 << 5,
    CLAP_TRANSPORT_IS_LOOP_ACTIVE = 1 << 6,
    CLAP_TRANSPORT_IS_WITHIN_PRE_ROLL = 1 << 7,
};

// The transport at a frame: in the process record for the block's first frame, and as
// events within it.
struct clap_event_transport {
    clap_event_header_t header;
    uint32_t flags;
    clap_beattime song_pos_beats;
    clap_sectime song_pos_seconds;
    double tempo;      // beats per minute
    double tempo_inc;  // added per frame until the next transport
    clap_beattime loop_start_beats;
    clap_beattime loop_end_beats;
    clap_sectime loop_start_seconds;
    clap_sectime loop_end_seconds;
    clap_beattime bar_start;  // where the current bar starts
    int32_t bar_number;       // 0 for the bar at song position 0
    uint16_t tsig_num;
    uint16_t tsig_denom;
};
typedef clap_event_transport clap_event_transport_t;

struct clap_event_midi {
    clap_event_header_t header;
    uint16_t port_index;
    uint8_t data[3];
};
typedef clap_event_midi clap_event_midi_t;

// The buffer lives for the process call (or the try_push) it comes with.
struct clap_event_midi_sysex {
    clap_event_header_t header;
    uint16_t port_index;
    const uint8_t* buffer;
    uint32_t size;
};
typedef clap_event_midi_sysex clap_event_midi_sysex_t;

struct clap_event_midi2 {
    clap_event_header_t header;
    uint16_t port_index;
    uint32_t data[4];
};
typedef clap_event_midi2 clap_event_midi2_t;

// The host's events for a block, in frame order.
struct clap_input_events {
    void* ctx;
    uint32_t (*size)(const clap_input_events* list);
    const clap_event_header_t* (*get)(const clap_input_events* list, uint32_t index);
};
typedef clap_input_events clap_input_events_t;

// Where the plug-in sends its events, in frame order; the host copies each. False when
// it could not be taken.
struct clap_output_events {
    void* ctx;
    bool (*try_push)(const clap_output_events* list, const clap_event_header_t* event);
};
typedef clap_output_events clap_output_events_t;

// ---- Audio and processing --------------------------------------------------------------

struct clap_audio_buffer {
    float** data32;   // one pointer per channel (32-bit samples), or null
    double** data64;  // the same in 64 bits, or null
    uint32_t channel_count;
    uint32_t latency;
    uint64_t constant_mask;  // bit k: channel k holds one value throughout
};
typedef clap_audio_buffer clap_audio_buffer_t;

enum {
    CLAP_PROCESS_ERROR = 0,
    CLAP_PROCESS_CONTINUE = 1,
    CLAP_PROCESS_CONTINUE_IF_NOT_QUIET = 2,
    CLAP_PROCESS_TAIL = 3,
    CLAP_PROCESS_SLEEP = 4,
};
typedef int32_t clap_process_status;

struct clap_process {
    int64_t steady_time;  // a frame counter, -1 when the host keeps none
    uint32_t frames_count;
    const clap_event_transport_t* transport;  // at the first frame; null: no transport
    const clap_audio_buffer_t* audio_inputs;
    clap_audio_buffer_t* audio_outputs;
    uint32_t audio_inputs_count;
    uint32_t audio_outputs_count;
    const clap_input_events_t* in_events;
    const clap_output_events_t* out_events;
};
typedef clap_process clap_process_t;

// ---- Plug-in ---------------------------------------------------------------------------

struct clap_plugin_descriptor {
    clap_version_t clap_version;
    const char* id;    // required: "com.vendor.product"
    const char* name;  // required
    const char* vendor;
    const char* url;
    const char* manual_url;
    const char* support_url;
    const char* version;
    const char* description;
    const char* const* features;  // null-terminated list of keywords
};
typedef clap_plugin_descriptor clap_plugin_descriptor_t;

struct clap_plugin {
    const clap_plugin_descriptor_t* desc;
    void* plugin_data;  // the plug-in's own
    bool (*init)(const clap_plugin* plugin);                                    // [main]
    void (*destroy)(const clap_plugin* plugin);                                 // [main, inactive]
    bool (*activate)(const clap_plugin* plugin, double sample_rate, uint32_t min_frames_count,
                     uint32_t max_frames_count);                                 // [main, inactive]
    void (*deactivate)(const clap_plugin* plugin);                              // [main, active]
    bool (*start_processing)(const clap_plugin* plugin);                        // [audio, active, not processing]
    void (*stop_processing)(const clap_plugin* plugin);                         // [audio, processing]
    void (*reset)(const clap_plugin* plugin);                                   // [audio, active]
    clap_process_status (*process)(const clap_plugin* plugin, const clap_process_t* process);  // [audio, processing]
    const void* (*get_extension)(const clap_plugin* plugin, const char* id);   // [any], from init on
    void (*on_main_thread)(const clap_plugin* plugin);                          // [main]
};
typedef clap_plugin clap_plugin_t;

// ---- Entry and factories ---------------------------------------------------------------

// The one symbol a plug-in library exports. init and deinit come in pairs (a host may
// make several pairs); get_factory [any].
struct clap_plugin_entry {
    clap_version_t clap_version;
    bool (*init)(const char* plugin_path);
    void (*deinit)();
    const void* (*get_factory)(const char* factory_id);
};
typedef clap_plugin_entry clap_plugin_entry_t;

inline constexpr const char CLAP_PLUGIN_FACTORY_ID[] = "clap.plugin-factory";

struct clap_plugin_factory {
    uint32_t (*get_plugin_count)(const clap_plugin_factory* factory);
    const clap_plugin_descriptor_t* (*get_plugin_descriptor)(const clap_plugin_factory* factory, uint32_t index);
    // The host must outlive the plug-in; the plug-in may not call the host before init.
    const clap_plugin_t* (*create_plugin)(const clap_plugin_factory* factory, const clap_host_t* host,
                                          const char* plugin_id);
};
typedef clap_plugin_factory clap_plugin_factory_t;

// Keywords of a descriptor's features.
inline constexpr const char CLAP_PLUGIN_FEATURE_AUDIO_EFFECT[] = "audio-effect";
inline constexpr const char CLAP_PLUGIN_FEATURE_STEREO[] = "stereo";
inline constexpr const char CLAP_PLUGIN_FEATURE_FILTER[] = "filter";
inline constexpr const char CLAP_PLUGIN_FEATURE_PHASER[] = "phaser";
inline constexpr const char CLAP_PLUGIN_FEATURE_DISTORTION[] = "distortion";
inline constexpr const char CLAP_PLUGIN_FEATURE_MIXING[] = "mixing";
inline constexpr const char CLAP_PLUGIN_FEATURE_UTILITY[] = "utility";
inline constexpr const char CLAP_PLUGIN_FEATURE_TREMOLO[] = "tremolo";

// ---- Streams ---------------------------------------------------------------------------

// read and write move at most `size` bytes and answer how many they moved: 0 at the
// end of the stream, -1 on an error. Fewer than asked is no error: call again.
struct clap_istream {
    void* ctx;
    int64_t (*read)(const clap_istream* stream, void* buffer, uint64_t size);
};
typedef clap_istream clap_istream_t;

struct clap_ostream {
    void* ctx;
    int64_t (*write)(const clap_ostream* stream, const void* buffer, uint64_t size);
};
typedef clap_ostream clap_ostream_t;

// ---- Extensions: audio ports -----------------------------------------------------------

inline constexpr const char CLAP_EXT_AUDIO_PORTS[] = "clap.audio-ports";
inline constexpr const char CLAP_PORT_MONO[] = "mono";
inline constexpr const char CLAP_PORT_STEREO[] = "stereo";

enum {
    CLAP_AUDIO_PORT_IS_MAIN = 1 << 0,
    CLAP_AUDIO_PORT_SUPPORTS_64BITS = 1 << 1,
    CLAP_AUDIO_PORT_PREFERS_64BITS = 1 << 2,
    CLAP_AUDIO_PORT_REQUIRES_COMMON_SAMPLE_SIZE = 1 << 3,
};

struct clap_audio_port_info {
    clap_id id;
    char name[CLAP_NAME_SIZE];
    uint32_t flags;
    uint32_t channel_count;
    const char* port_type;  // CLAP_PORT_STEREO ..., or null
    clap_id in_place_pair;  // the port that may share this one's buffers, or CLAP_INVALID_ID
};
typedef clap_audio_port_info clap_audio_port_info_t;

struct clap_plugin_audio_ports {
    uint32_t (*count)(const clap_plugin_t* plugin, bool is_input);                                         // [main]
    bool (*get)(const clap_plugin_t* plugin, uint32_t index, bool is_input, clap_audio_port_info_t* info);  // [main]
};
typedef clap_plugin_audio_ports clap_plugin_audio_ports_t;

enum {
    CLAP_AUDIO_PORTS_RESCAN_NAMES = 1 << 0,
    CLAP_AUDIO_PORTS_RESCAN_FLAGS = 1 << 1,
    CLAP_AUDIO_PORTS_RESCAN_CHANNEL_COUNT = 1 << 2,
    CLAP_AUDIO_PORTS_RESCAN_PORT_TYPE = 1 << 3,
    CLAP_AUDIO_PORTS_RESCAN_IN_PLACE_PAIR = 1 << 4,
    CLAP_AUDIO_PORTS_RESCAN_LIST = 1 << 5,
};

struct clap_host_audio_ports {
    bool (*is_rescan_flag_supported)(const clap_host_t* host, uint32_t flag);  // [main]
    void (*rescan)(const clap_host_t* host, uint32_t flags);                    // [main]
};
typedef clap_host_audio_ports clap_host_audio_ports_t;

// ---- Extensions: note ports ------------------------------------------------------------

inline constexpr const char CLAP_EXT_NOTE_PORTS[] = "clap.note-ports";

enum {
    CLAP_NOTE_DIALECT_CLAP = 1 << 0,      // clap_event_note
    CLAP_NOTE_DIALECT_MIDI = 1 << 1,      // clap_event_midi
    CLAP_NOTE_DIALECT_MIDI_MPE = 1 << 2,
    CLAP_NOTE_DIALECT_MIDI2 = 1 << 3,
};

struct clap_note_port_info {
    clap_id id;
    uint32_t supported_dialects;
    uint32_t preferred_dialect;
    char name[CLAP_NAME_SIZE];
};
typedef clap_note_port_info clap_note_port_info_t;

struct clap_plugin_note_ports {
    uint32_t (*count)(const clap_plugin_t* plugin, bool is_input);                                        // [main]
    bool (*get)(const clap_plugin_t* plugin, uint32_t index, bool is_input, clap_note_port_info_t* info);  // [main]
};
typedef clap_plugin_note_ports clap_plugin_note_ports_t;

enum {
    CLAP_NOTE_PORTS_RESCAN_ALL = 1 << 0,
    CLAP_NOTE_PORTS_RESCAN_NAMES = 1 << 1,
};

struct clap_host_note_ports {
    uint32_t (*supported_dialects)(const clap_host_t* host);  // [main]
    void (*rescan)(const clap_host_t* host, uint32_t flags);  // [main]
};
typedef clap_host_note_ports clap_host_note_ports_t;

// ---- Extensions: parameters ------------------------------------------------------------

inline constexpr const char CLAP_EXT_PARAMS[] = "clap.params";

enum {
    CLAP_PARAM_IS_STEPPED = 1 << 0,  // whole values only (a value is truncated)
    CLAP_PARAM_IS_PERIODIC = 1 << 1,
    CLAP_PARAM_IS_HIDDEN = 1 << 2,
    CLAP_PARAM_IS_READONLY = 1 << 3,
    CLAP_PARAM_IS_BYPASS = 1 << 4,
    CLAP_PARAM_IS_AUTOMATABLE = 1 << 5,
    CLAP_PARAM_IS_AUTOMATABLE_PER_NOTE_ID = 1 << 6,
    CLAP_PARAM_IS_AUTOMATABLE_PER_KEY = 1 << 7,
    CLAP_PARAM_IS_AUTOMATABLE_PER_CHANNEL = 1 << 8,
    CLAP_PARAM_IS_AUTOMATABLE_PER_PORT = 1 << 9,
    CLAP_PARAM_IS_MODULATABLE = 1 << 10,
    CLAP_PARAM_IS_MODULATABLE_PER_NOTE_ID = 1 << 11,
    CLAP_PARAM_IS_MODULATABLE_PER_KEY = 1 << 12,
    CLAP_PARAM_IS_MODULATABLE_PER_CHANNEL = 1 << 13,
    CLAP_PARAM_IS_MODULATABLE_PER_PORT = 1 << 14,
    CLAP_PARAM_REQUIRES_PROCESS = 1 << 15,
    CLAP_PARAM_IS_ENUM = 1 << 16,  // named entries; needs CLAP_PARAM_IS_STEPPED
};
typedef uint32_t clap_param_info_flags;

struct clap_param_info {
    clap_id id;  // stable for good
    clap_param_info_flags flags;
    void* cookie;  // given back in the host's events, or null
    char name[CLAP_NAME_SIZE];
    char module[CLAP_PATH_SIZE];  // "Group/Subgroup", or empty
    double min_value;
    double max_value;
    double default_value;
};
typedef clap_param_info clap_param_info_t;

struct clap_plugin_params {
    uint32_t (*count)(const clap_plugin_t* plugin);                                                 // [main]
    bool (*get_info)(const clap_plugin_t* plugin, uint32_t param_index, clap_param_info_t* info);  // [main]
    bool (*get_value)(const clap_plugin_t* plugin, clap_id param_id, double* out_value);           // [main]
    bool (*value_to_text)(const clap_plugin_t* plugin, clap_id param_id, double value, char* out_buffer,
                          uint32_t out_buffer_capacity);                                            // [main]
    bool (*text_to_value)(const clap_plugin_t* plugin, clap_id param_id, const char* text,
                          double* out_value);                                                       // [main]
    // The host's changes and the plug-in's own without processing; never beside process.
    // [audio while active, else main]
    void (*flush)(const clap_plugin_t* plugin, const clap_input_events_t* in, const clap_output_events_t* out);
};
typedef clap_plugin_params clap_plugin_params_t;

enum {
    CLAP_PARAM_RESCAN_VALUES = 1 << 0,
    CLAP_PARAM_RESCAN_TEXT = 1 << 1,
    CLAP_PARAM_RESCAN_INFO = 1 << 2,
    CLAP_PARAM_RESCAN_ALL = 1 << 3,  // only while inactive
};
typedef uint32_t clap_param_rescan_flags;

enum {
    CLAP_PARAM_CLEAR_ALL = 1 << 0,
    CLAP_PARAM_CLEAR_AUTOMATIONS = 1 << 1,
    CLAP_PARAM_CLEAR_MODULATIONS = 1 << 2,
};
typedef uint32_t clap_param_clear_flags;

struct clap_host_params {
    void (*rescan)(const clap_host_t* host, clap_param_rescan_flags flags);              // [main]
    void (*clear)(const clap_host_t* host, clap_id param_id, clap_param_clear_flags flags);  // [main]
    // Have process or flush called soon. [any but audio]
    void (*request_flush)(const clap_host_t* host);
};
typedef clap_host_params clap_host_params_t;

// ---- Extensions: state, latency --------------------------------------------------------

inline constexpr const char CLAP_EXT_STATE[] = "clap.state";

struct clap_plugin_state {
    bool (*save)(const clap_plugin_t* plugin, const clap_ostream_t* stream);  // [main]
    bool (*load)(const clap_plugin_t* plugin, const clap_istream_t* stream);  // [main]
};
typedef clap_plugin_state clap_plugin_state_t;

struct clap_host_state {
    void (*mark_dirty)(const clap_host_t* host);  // [main]
};
typedef clap_host_state clap_host_state_t;

inline constexpr const char CLAP_EXT_LATENCY[] = "clap.latency";

struct clap_plugin_latency {
    uint32_t (*get)(const clap_plugin_t* plugin);  // [main, active]
};
typedef clap_plugin_latency clap_plugin_latency_t;

struct clap_host_latency {
    void (*changed)(const clap_host_t* host);  // [main, being activated]
};
typedef clap_host_latency clap_host_latency_t;

// ---- Extensions: the editor ------------------------------------------------------------

inline constexpr const char CLAP_EXT_GUI[] = "clap.gui";
// Sizes in physical pixels; the window embeds by XEMBED.
inline constexpr const char CLAP_WINDOW_API_X11[] = "x11";
inline constexpr const char CLAP_WINDOW_API_WAYLAND[] = "wayland";
inline constexpr const char CLAP_WINDOW_API_WIN32[] = "win32";
inline constexpr const char CLAP_WINDOW_API_COCOA[] = "cocoa";

typedef unsigned long clap_xwnd;

struct clap_window {
    const char* api;  // CLAP_WINDOW_API_...
    union {
        void* cocoa;
        void* uikit;
        clap_xwnd x11;
        void* win32;
        void* ptr;
    };
};
typedef clap_window clap_window_t;

struct clap_gui_resize_hints {
    bool can_resize_horizontally;
    bool can_resize_vertically;
    bool preserve_aspect_ratio;
    uint32_t aspect_ratio_width;
    uint32_t aspect_ratio_height;
};
typedef clap_gui_resize_hints clap_gui_resize_hints_t;

// Every call [main]; sizes in pixels of the window system (physical for X11).
struct clap_plugin_gui {
    bool (*is_api_supported)(const clap_plugin_t* plugin, const char* api, bool is_floating);
    bool (*get_preferred_api)(const clap_plugin_t* plugin, const char** api, bool* is_floating);
    bool (*create)(const clap_plugin_t* plugin, const char* api, bool is_floating);
    void (*destroy)(const clap_plugin_t* plugin);
    // The host's scale (2 is 200 %), above what the plug-in finds itself.
    bool (*set_scale)(const clap_plugin_t* plugin, double scale);
    bool (*get_size)(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height);
    bool (*can_resize)(const clap_plugin_t* plugin);
    bool (*get_resize_hints)(const clap_plugin_t* plugin, clap_gui_resize_hints_t* hints);
    // The nearest size the editor can take to the one given; changes nothing.
    bool (*adjust_size)(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height);
    bool (*set_size)(const clap_plugin_t* plugin, uint32_t width, uint32_t height);
    bool (*set_parent)(const clap_plugin_t* plugin, const clap_window_t* window);
    bool (*set_transient)(const clap_plugin_t* plugin, const clap_window_t* window);
    void (*suggest_title)(const clap_plugin_t* plugin, const char* title);
    bool (*show)(const clap_plugin_t* plugin);
    bool (*hide)(const clap_plugin_t* plugin);
};
typedef clap_plugin_gui clap_plugin_gui_t;

struct clap_host_gui {
    void (*resize_hints_changed)(const clap_host_t* host);                         // [any]
    // True when the host takes the size (it need not call set_size then). [any]
    bool (*request_resize)(const clap_host_t* host, uint32_t width, uint32_t height);
    bool (*request_show)(const clap_host_t* host);                                  // [any]
    bool (*request_hide)(const clap_host_t* host);                                  // [any]
    void (*closed)(const clap_host_t* host, bool was_destroyed);                    // [any]
};
typedef clap_host_gui clap_host_gui_t;

// ---- Extensions: the host's main loop --------------------------------------------------

inline constexpr const char CLAP_EXT_TIMER_SUPPORT[] = "clap.timer-support";

struct clap_plugin_timer_support {
    void (*on_timer)(const clap_plugin_t* plugin, clap_id timer_id);  // [main]
};
typedef clap_plugin_timer_support clap_plugin_timer_support_t;

struct clap_host_timer_support {
    bool (*register_timer)(const clap_host_t* host, uint32_t period_ms, clap_id* timer_id);  // [main]
    bool (*unregister_timer)(const clap_host_t* host, clap_id timer_id);                      // [main]
};
typedef clap_host_timer_support clap_host_timer_support_t;

inline constexpr const char CLAP_EXT_POSIX_FD_SUPPORT[] = "clap.posix-fd-support";

enum {
    CLAP_POSIX_FD_READ = 1 << 0,
    CLAP_POSIX_FD_WRITE = 1 << 1,
    CLAP_POSIX_FD_ERROR = 1 << 2,
};
typedef uint32_t clap_posix_fd_flags_t;

struct clap_plugin_posix_fd_support {
    // Level-triggered: called while the descriptor is ready. [main]
    void (*on_fd)(const clap_plugin_t* plugin, int fd, clap_posix_fd_flags_t flags);
};
typedef clap_plugin_posix_fd_support clap_plugin_posix_fd_support_t;

struct clap_host_posix_fd_support {
    bool (*register_fd)(const clap_host_t* host, int fd, clap_posix_fd_flags_t flags);  // [main]
    bool (*modify_fd)(const clap_host_t* host, int fd, clap_posix_fd_flags_t flags);    // [main]
    bool (*unregister_fd)(const clap_host_t* host, int fd);                             // [main]
};
typedef clap_host_posix_fd_support clap_host_posix_fd_support_t;

// ---- Extensions: the host's threads and log --------------------------------------------

inline constexpr const char CLAP_EXT_THREAD_CHECK[] = "clap.thread-check";

struct clap_host_thread_check {
    bool (*is_main_thread)(const clap_host_t* host);   // [any]
    bool (*is_audio_thread)(const clap_host_t* host);  // [any]
};
typedef clap_host_thread_check clap_host_thread_check_t;

inline constexpr const char CLAP_EXT_LOG[] = "clap.log";

enum {
    CLAP_LOG_DEBUG = 0,
    CLAP_LOG_INFO = 1,
    CLAP_LOG_WARNING = 2,
    CLAP_LOG_ERROR = 3,
    CLAP_LOG_FATAL = 4,
    CLAP_LOG_HOST_MISBEHAVING = 5,
    CLAP_LOG_PLUGIN_MISBEHAVING = 6,
};
typedef int32_t clap_log_severity;

struct clap_host_log {
    void (*log)(const clap_host_t* host, clap_log_severity severity, const char* msg);  // [any]
};
typedef clap_host_log clap_host_log_t;

// ---- Presets: discovery and loading ----------------------------------------------------

// The plug-in id of another standard's plug-in or of a CLAP one ("clap").
struct clap_universal_plugin_id {
    const char* abi;
    const char* id;
};
typedef clap_universal_plugin_id clap_universal_plugin_id_t;

inline constexpr const char CLAP_EXT_PRESET_LOAD[] = "clap.preset-load/2";
// The draft's id, which hosts from before the final one ask for.
inline constexpr const char CLAP_EXT_PRESET_LOAD_COMPAT[] = "clap.preset-load.draft/2";

struct clap_plugin_preset_load {
    // A preset a discovery provider listed: its location kind, location and key. [main]
    bool (*from_location)(const clap_plugin_t* plugin, uint32_t location_kind, const char* location,
                          const char* load_key);
};
typedef clap_plugin_preset_load clap_plugin_preset_load_t;

struct clap_host_preset_load {
    void (*on_error)(const clap_host_t* host, uint32_t location_kind, const char* location, const char* load_key,
                     int32_t os_error, const char* msg);                                                   // [main]
    void (*loaded)(const clap_host_t* host, uint32_t location_kind, const char* location, const char* load_key);  // [main]
};
typedef clap_host_preset_load clap_host_preset_load_t;

inline constexpr const char CLAP_PRESET_DISCOVERY_FACTORY_ID[] = "clap.preset-discovery-factory/2";
inline constexpr const char CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT[] = "clap.preset-discovery-factory/draft-2";

enum {
    CLAP_PRESET_DISCOVERY_LOCATION_FILE = 0,
    CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN = 1,  // presets inside the plug-in: the location is null
};

enum {
    CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT = 1 << 0,
    CLAP_PRESET_DISCOVERY_IS_USER_CONTENT = 1 << 1,
    CLAP_PRESET_DISCOVERY_IS_DEMO_CONTENT = 1 << 2,
    CLAP_PRESET_DISCOVERY_IS_FAVORITE = 1 << 3,
};

// The host's side of reading one location's presets. Not thread-safe.
struct clap_preset_discovery_metadata_receiver {
    void* receiver_data;
    void (*on_error)(const clap_preset_discovery_metadata_receiver* receiver, int32_t os_error, const char* message);
    // First for every preset; false: stop. A container's presets need name and key.
    bool (*begin_preset)(const clap_preset_discovery_metadata_receiver* receiver, const char* name,
                         const char* load_key);
    void (*add_plugin_id)(const clap_preset_discovery_metadata_receiver* receiver,
                          const clap_universal_plugin_id_t* plugin_id);
    void (*set_soundpack_id)(const clap_preset_discovery_metadata_receiver* receiver, const char* soundpack_id);
    void (*set_flags)(const clap_preset_discovery_metadata_receiver* receiver, uint32_t flags);
    void (*add_creator)(const clap_preset_discovery_metadata_receiver* receiver, const char* creator);
    void (*set_description)(const clap_preset_discovery_metadata_receiver* receiver, const char* description);
    void (*set_timestamps)(const clap_preset_discovery_metadata_receiver* receiver, clap_timestamp creation_time,
                           clap_timestamp modification_time);
    void (*add_feature)(const clap_preset_discovery_metadata_receiver* receiver, const char* feature);
    void (*add_extra_info)(const clap_preset_discovery_metadata_receiver* receiver, const char* key,
                           const char* value);
};
typedef clap_preset_discovery_metadata_receiver clap_preset_discovery_metadata_receiver_t;

struct clap_preset_discovery_filetype {
    const char* name;
    const char* description;
    const char* file_extension;  // without the dot; empty or null: any file
};
typedef clap_preset_discovery_filetype clap_preset_discovery_filetype_t;

struct clap_preset_discovery_location {
    uint32_t flags;
    const char* name;
    uint32_t kind;
    const char* location;  // a path, or null for presets inside the plug-in
};
typedef clap_preset_discovery_location clap_preset_discovery_location_t;

struct clap_preset_discovery_soundpack {
    uint32_t flags;
    const char* id;
    const char* name;
    const char* description;
    const char* homepage_url;
    const char* vendor;
    const char* image_path;
    clap_timestamp release_timestamp;
};
typedef clap_preset_discovery_soundpack clap_preset_discovery_soundpack_t;

struct clap_preset_discovery_provider_descriptor {
    clap_version_t clap_version;
    const char* id;
    const char* name;
    const char* vendor;
};
typedef clap_preset_discovery_provider_descriptor clap_preset_discovery_provider_descriptor_t;

// Not thread-safe.
struct clap_preset_discovery_provider {
    const clap_preset_discovery_provider_descriptor_t* desc;
    void* provider_data;
    // Declares the provider's locations and file types to the indexer.
    bool (*init)(const clap_preset_discovery_provider* provider);
    void (*destroy)(const clap_preset_discovery_provider* provider);
    bool (*get_metadata)(const clap_preset_discovery_provider* provider, uint32_t location_kind,
                         const char* location, const clap_preset_discovery_metadata_receiver_t* metadata_receiver);
    const void* (*get_extension)(const clap_preset_discovery_provider* provider, const char* extension_id);
};
typedef clap_preset_discovery_provider clap_preset_discovery_provider_t;

// The host's indexer, handed to a provider. Not thread-safe.
struct clap_preset_discovery_indexer {
    clap_version_t clap_version;
    const char* name;
    const char* vendor;
    const char* url;
    const char* version;
    void* indexer_data;
    bool (*declare_filetype)(const clap_preset_discovery_indexer* indexer,
                             const clap_preset_discovery_filetype_t* filetype);
    bool (*declare_location)(const clap_preset_discovery_indexer* indexer,
                             const clap_preset_discovery_location_t* location);
    bool (*declare_soundpack)(const clap_preset_discovery_indexer* indexer,
                              const clap_preset_discovery_soundpack_t* soundpack);
    const void* (*get_extension)(const clap_preset_discovery_indexer* indexer, const char* extension_id);
};
typedef clap_preset_discovery_indexer clap_preset_discovery_indexer_t;

// Every call [any].
struct clap_preset_discovery_factory {
    uint32_t (*count)(const clap_preset_discovery_factory* factory);
    const clap_preset_discovery_provider_descriptor_t* (*get_descriptor)(const clap_preset_discovery_factory* factory,
                                                                         uint32_t index);
    // The provider may not call the indexer before its init.
    const clap_preset_discovery_provider_t* (*create)(const clap_preset_discovery_factory* factory,
                                                      const clap_preset_discovery_indexer_t* indexer,
                                                      const char* provider_id);
};
typedef clap_preset_discovery_factory clap_preset_discovery_factory_t;

}  // extern "C"

// ---- The 64-bit Linux layout -----------------------------------------------------------

static_assert(sizeof(void*) == 8, "built for 64-bit hosts only");
static_assert(sizeof(clap_version) == 12);
static_assert(sizeof(clap_host) == 88 && offsetof(clap_host, host_data) == 16 &&
              offsetof(clap_host, get_extension) == 56 && offsetof(clap_host, request_callback) == 80);
static_assert(sizeof(clap_event_header) == 16 && offsetof(clap_event_header, space_id) == 8 &&
              offsetof(clap_event_header, type) == 10 && offsetof(clap_event_header, flags) == 12);
static_assert(sizeof(clap_event_note) == 40 && offsetof(clap_event_note, note_id) == 16 &&
              offsetof(clap_event_note, port_index) == 20 && offsetof(clap_event_note, key) == 24 &&
              offsetof(clap_event_note, velocity) == 32);
static_assert(sizeof(clap_event_note_expression) == 40 && offsetof(clap_event_note_expression, value) == 32);
static_assert(sizeof(clap_event_param_value) == 56 && offsetof(clap_event_param_value, param_id) == 16 &&
              offsetof(clap_event_param_value, cookie) == 24 && offsetof(clap_event_param_value, note_id) == 32 &&
              offsetof(clap_event_param_value, port_index) == 36 && offsetof(clap_event_param_value, key) == 40 &&
              offsetof(clap_event_param_value, value) == 48);
static_assert(sizeof(clap_event_param_mod) == 56 && offsetof(clap_event_param_mod, amount) == 48);
static_assert(sizeof(clap_event_param_gesture) == 20);
static_assert(sizeof(clap_event_transport) == 104 && offsetof(clap_event_transport, flags) == 16 &&
              offsetof(clap_event_transport, song_pos_beats) == 24 && offsetof(clap_event_transport, tempo) == 40 &&
              offsetof(clap_event_transport, loop_start_beats) == 56 &&
              offsetof(clap_event_transport, bar_start) == 88 && offsetof(clap_event_transport, bar_number) == 96 &&
              offsetof(clap_event_transport, tsig_num) == 100 && offsetof(clap_event_transport, tsig_denom) == 102);
static_assert(sizeof(clap_event_midi) == 24 && offsetof(clap_event_midi, port_index) == 16 &&
              offsetof(clap_event_midi, data) == 18);
static_assert(sizeof(clap_event_midi_sysex) == 40 && offsetof(clap_event_midi_sysex, buffer) == 24 &&
              offsetof(clap_event_midi_sysex, size) == 32);
static_assert(sizeof(clap_event_midi2) == 36 && offsetof(clap_event_midi2, data) == 20);
static_assert(sizeof(clap_input_events) == 24 && sizeof(clap_output_events) == 16);
static_assert(sizeof(clap_audio_buffer) == 32 && offsetof(clap_audio_buffer, channel_count) == 16 &&
              offsetof(clap_audio_buffer, constant_mask) == 24);
static_assert(sizeof(clap_process) == 64 && offsetof(clap_process, frames_count) == 8 &&
              offsetof(clap_process, transport) == 16 && offsetof(clap_process, audio_inputs_count) == 40 &&
              offsetof(clap_process, in_events) == 48 && offsetof(clap_process, out_events) == 56);
static_assert(sizeof(clap_plugin_descriptor) == 88 && offsetof(clap_plugin_descriptor, id) == 16 &&
              offsetof(clap_plugin_descriptor, features) == 80);
static_assert(sizeof(clap_plugin) == 96 && offsetof(clap_plugin, init) == 16 && offsetof(clap_plugin, process) == 72 &&
              offsetof(clap_plugin, on_main_thread) == 88);
static_assert(sizeof(clap_plugin_entry) == 40 && offsetof(clap_plugin_entry, init) == 16 &&
              offsetof(clap_plugin_entry, get_factory) == 32);
static_assert(sizeof(clap_plugin_factory) == 24);
static_assert(sizeof(clap_istream) == 16 && sizeof(clap_ostream) == 16);
static_assert(sizeof(clap_audio_port_info) == 288 && offsetof(clap_audio_port_info, flags) == 260 &&
              offsetof(clap_audio_port_info, port_type) == 272 && offsetof(clap_audio_port_info, in_place_pair) == 280);
static_assert(sizeof(clap_note_port_info) == 268 && offsetof(clap_note_port_info, name) == 12);
static_assert(sizeof(clap_param_info) == 1320 && offsetof(clap_param_info, cookie) == 8 &&
              offsetof(clap_param_info, name) == 16 && offsetof(clap_param_info, module) == 272 &&
              offsetof(clap_param_info, min_value) == 1296 && offsetof(clap_param_info, default_value) == 1312);
static_assert(sizeof(clap_plugin_params) == 48 && offsetof(clap_plugin_params, flush) == 40);
static_assert(sizeof(clap_host_params) == 24);
static_assert(sizeof(clap_window) == 16 && offsetof(clap_window, x11) == 8);
static_assert(sizeof(clap_gui_resize_hints) == 12 && offsetof(clap_gui_resize_hints, aspect_ratio_width) == 4);
static_assert(sizeof(clap_plugin_gui) == 15 * 8 && offsetof(clap_plugin_gui, set_scale) == 32 &&
              offsetof(clap_plugin_gui, set_parent) == 80 && offsetof(clap_plugin_gui, hide) == 112);
static_assert(sizeof(clap_host_gui) == 40);
static_assert(sizeof(clap_preset_discovery_metadata_receiver) == 88 &&
              offsetof(clap_preset_discovery_metadata_receiver, begin_preset) == 16);
static_assert(sizeof(clap_preset_discovery_location) == 32 && offsetof(clap_preset_discovery_location, kind) == 16 &&
              offsetof(clap_preset_discovery_location, location) == 24);
static_assert(sizeof(clap_preset_discovery_soundpack) == 64);
static_assert(sizeof(clap_preset_discovery_provider_descriptor) == 40 &&
              offsetof(clap_preset_discovery_provider_descriptor, id) == 16);
static_assert(sizeof(clap_preset_discovery_provider) == 48 && offsetof(clap_preset_discovery_provider, get_metadata) == 32);
static_assert(sizeof(clap_preset_discovery_indexer) == 88 && offsetof(clap_preset_discovery_indexer, indexer_data) == 48);
static_assert(sizeof(clap_preset_discovery_factory) == 24);
