/* Resource and command IDs shared by the resource script and the code. */
#ifndef VELMO_RESOURCE_H
#define VELMO_RESOURCE_H

/* The main window's class: string 0, and named by its template */
#define CLASS_NAME_TEXT     "VELMO 2"

/* String table: the texts themselves are in strings.inc */
#define IDS_CLASS_NAME      0
#define IDS_NO_DIALOG       21
#define IDS_OVERFLOW        30
#define IDS_DIV_ZERO        31
#define IDS_NEG_SQRT        32
#define IDS_NUM_ERROR       33
#define IDS_FEW_OPERANDS    34
#define IDS_STACK_FULL      36
#define IDS_NO_PASTE        37
#define IDS_SOUND_KEY       38
#define IDS_MODULE_NAME     10000
#define IDS_ERROR_CAPTION   10001
#define IDS_FATAL_CAPTION   10002
#define IDS_NO_COPY         10004
#define IDS_INI_FILE        10005
#define IDS_NO_ACCELS       10007
#define IDS_HELP_FILE       10008
#define IDS_HELP_ERROR      10009
#define IDS_INI_SECTION     10010
#define IDS_REG_PREFIX      10011
#define IDS_REG_ERROR       10012

/* Calculator commands: button IDs, accelerator commands and key codes */
#define CMD_BACK            8
#define CMD_ENTER           13
#define CMD_MULT            42
#define CMD_ADD             43
#define CMD_SUB             45
#define CMD_POINT           46
#define CMD_DIV             47
#define CMD_DIGIT           48      /* '0'; the digits run to 57, '9' */
#define CMD_RAISE           176
#define CMD_RECIP           177
#define CMD_CH_SGN          178
#define CMD_SQRT            179
#define CMD_DROP            180
#define CMD_COPY            181
#define CMD_CLEAR           182
#define CMD_SWAP            183
#define CMD_SQUARE          186

/* Window commands, handled by the main window itself */
#define CMD_HELP            122
#define CMD_ABOUT           123
#define CMD_EXIT            124
#define CMD_SOUND           150
#define CMD_PASTE           184

/* Controls of the main window */
#define IDC_FRAME           184     /* group box around the display lines */
#define IDC_LINE_X          190
#define IDC_LINE_Y          191
#define IDC_LINE_Z          192
#define IDC_LINE_T          193

/* Controls of the Sound and About dialogs */
#define IDC_OK              2       /* the same code as Escape and Close */
#define IDC_SOUND_ON        101
#define IDC_SOUND_OFF       102
#define IDC_ADDRESS         105
#define IDC_NOTICE          114
#define IDC_ABOUT_ICON      118
#define IDC_DISTRIBUTION    119

#endif
