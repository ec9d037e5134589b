/* Identifiers of the frame's texts in the string table of Vantorelix.rc.
   Included by the resource compiler as well: #define lines only. */
#ifndef VANTORELIX_FRAME_STRINGS_H
#define VANTORELIX_FRAME_STRINGS_H

#define IDS_OLE_ERROR      100
#define IDS_NO_TYPE_INFO   101
#define IDS_BAD_TYPE_INFO  102
#define IDS_NO_DISPATCH    103
#define IDS_ERROR_CAPTION  104
#define IDS_REGISTRY_WRITE 105
#define IDS_OUT_OF_MEMORY  106
#define IDS_INVALID_GUID   107

#define IDS_VAR_TYPE_CAST      120
#define IDS_VAR_OVERFLOW       121
#define IDS_VAR_BAD_INDEX      122
#define IDS_VAR_BAD_TYPE       123
#define IDS_VAR_INVALID_OP     124
#define IDS_VAR_ARRAY_LOCKED   125
#define IDS_INVALID_ARGUMENT   126
#define IDS_NOT_SUPPORTED      127
#define IDS_VAR_FATAL          128
#define IDS_VAR_UNKNOWN        129
#define IDS_VAR_ARRAY_CAST     130
#define IDS_VAR_ARRAY_OVERFLOW 131
#define IDS_VAR_ARRAY_CREATE   132
#define IDS_RANGE_ERROR        133

#define IDS_ACCESS_VIOLATION_AT 140
#define IDS_ACCESS_VIOLATION    141
#define IDS_ACCESS_READ         142
#define IDS_ACCESS_WRITE        143
#define IDS_DIVIDE_BY_ZERO      144
#define IDS_INT_OVERFLOW        145
#define IDS_FLOAT_INVALID       146
#define IDS_FLOAT_DIVIDE        147
#define IDS_FLOAT_OVERFLOW      148
#define IDS_FLOAT_UNDERFLOW     149
#define IDS_PRIVILEGED          150
#define IDS_CONTROL_C           151
#define IDS_STACK_OVERFLOW      152
#define IDS_EXTERNAL_EXCEPTION  153

#endif
