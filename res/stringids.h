#pragma once

// Names for the numbered texts the core and the tools use by number. Texts picked by
// arithmetic (status texts 200 + code, level texts 230 + level, ...) keep their base here.
enum StringId : int {
    STR_ROOT = 132,
    STR_POWER_BASE = 200,
    STR_INPUT_TYPE_BASE = 210,
    STR_CAMERA = 216,
    STR_MUTE_BASE = 220,
    STR_LEVEL_BASE = 230,
    STR_ERROR_CATEGORY_BASE = 240,

    MSG_REGISTER_PROJECTORS = 300,
    MSG_REMOVE_PROJECTOR = 302,
    MSG_REMOVE_GROUP = 303,
    MSG_REMOVE_ITEMS = 304,
    MSG_NO_GROUP_SELECTED = 309,
    MSG_NO_PROJECTOR_FOUND = 311,
    MSG_REGISTERED = 313,
    MSG_REGISTRATION_FULL = 314,
    MSG_ADDRESS_INVALID = 315,
    MSG_ADDRESS_REGISTERED = 316,
    MSG_PASSWORD_INVALID = 317,
    MSG_PASSWORD_CHANGED = 318,
    MSG_ADDRESS_CHANGED = 319,
    MSG_MOVE_TOO_DEEP = 320,
    MSG_MOVE_TO_LOWER_LEVEL = 321,
    MSG_CREATE_TOO_DEEP = 322,
    MSG_GROUP_NAME_INVALID = 324,
    MSG_GROUP_NAME_TAKEN = 325,
    MSG_POWER_TURNED = 331,
    MSG_INPUT_SWITCHED = 332,
    MSG_MUTE_ON = 333,
    MSG_MUTE_OFF = 334,
    MSG_ERROR_OCCURRED = 335,
    MSG_WARNING_OCCURRED = 336,
    MSG_COMMUNICATION_FAILED = 337,
    MSG_NO_PROJECTOR_IN_GROUP = 338,
    MSG_CANNOT_RENAME = 339,
    MSG_FAILED_TO_COMMUNICATE = 341,
    MSG_SETTING_FILE_CANNOT_BE_OPENED = 343,
    MSG_LAMP_LIFE_ENDING = 344,
    MSG_OPERATION_INVALID = 346,

    // The password rule of PJLink (store/registration.h: CheckPassword), said where one is refused.
    STR_PASSWORD_RULES = 2030,

    // What became of a command at one projector, as the window's event list and lumarinctl
    // tell it (store/commandoutcome.h).
    STR_OUTCOME_LINE = 2509,
    STR_OUTCOME_UNDEFINED = 2510,
    STR_OUTCOME_OUT_OF_RANGE = 2511,
    STR_OUTCOME_UNAVAILABLE = 2512,
    STR_OUTCOME_FAILURE = 2513,
    STR_OUTCOME_BAD_ANSWER = 2514,
    STR_OUTCOME_PASSWORD = 2515,
    STR_OUTCOME_NO_ANSWER = 2516,
    STR_OUTCOME_DROPPED = 2517,
    STR_OUTCOME_NOT_OFFERED = 2518,
    STR_OUTCOME_NOT_SENT = 2519,
    STR_OUTCOME_POWER = 2520,
    STR_OUTCOME_ERROR = 2521,

    // Class 2 values, in Detail Information and wherever they are shown (model/class2status.h).
    STR_CLASS2_SERIAL = 2600,
    STR_CLASS2_VERSION = 2601,
    STR_CLASS2_FILTER_HOURS = 2602,
    STR_CLASS2_LAMP_MODELS = 2603,
    STR_CLASS2_FILTER_MODELS = 2604,
    STR_CLASS2_INPUT_RESOLUTION = 2605,
    STR_CLASS2_RECOMMENDED_RESOLUTION = 2606,
    STR_CLASS2_FREEZE = 2607,
    STR_CLASS2_NO_SIGNAL = 2608,
    STR_CLASS2_UNKNOWN_SIGNAL = 2609,
    STR_CLASS2_HOURS_FORMAT = 2610,
    STR_CLASS2_INPUT_NAME_FORMAT = 2611,
    STR_CLASS2_FREEZE_ON = 2612,
    STR_CLASS2_FREEZE_OFF = 2613,
    // The window's event line when another program has the controller's UDP port.
    MSG_UDP_PORT_TAKEN = 2650,

    // The wait text while File > Open or New waits for the work that holds the registry.
    STR_WAIT_OPEN = 2700,
    STR_WAIT_NEW = 2701,

    // What a screen reader calls the four parts of an IPv4 address field, in order.
    STR_FIRST_OCTET = 2702,
};
