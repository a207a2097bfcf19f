// Type codes of message fields and attributes, with the platform's values.
#pragma once

#include "kit/support/SupportDefs.h"

enum : type_code {
	B_ANY_TYPE = FourCC('A', 'N', 'Y', 'T'),
	B_BOOL_TYPE = FourCC('B', 'O', 'O', 'L'),
	B_CHAR_TYPE = FourCC('C', 'H', 'A', 'R'),
	B_DOUBLE_TYPE = FourCC('D', 'B', 'L', 'E'),
	B_FLOAT_TYPE = FourCC('F', 'L', 'O', 'T'),
	B_INT8_TYPE = FourCC('B', 'Y', 'T', 'E'),
	B_INT16_TYPE = FourCC('S', 'H', 'R', 'T'),
	B_INT32_TYPE = FourCC('L', 'O', 'N', 'G'),
	B_INT64_TYPE = FourCC('L', 'L', 'N', 'G'),
	B_UINT8_TYPE = FourCC('U', 'B', 'Y', 'T'),
	B_UINT16_TYPE = FourCC('U', 'S', 'H', 'T'),
	B_UINT32_TYPE = FourCC('U', 'L', 'N', 'G'),
	B_UINT64_TYPE = FourCC('U', 'L', 'L', 'G'),
	B_MESSAGE_TYPE = FourCC('M', 'S', 'G', 'G'),
	B_MESSENGER_TYPE = FourCC('M', 'S', 'N', 'G'),
	B_MIME_TYPE = FourCC('M', 'I', 'M', 'E'),
	B_POINTER_TYPE = FourCC('P', 'N', 'T', 'R'),
	B_POINT_TYPE = FourCC('B', 'P', 'N', 'T'),
	B_RAW_TYPE = FourCC('R', 'A', 'W', 'T'),
	B_RECT_TYPE = FourCC('R', 'E', 'C', 'T'),
	B_REF_TYPE = FourCC('R', 'R', 'E', 'F'),
	B_STRING_TYPE = FourCC('C', 'S', 'T', 'R'),
	B_TIME_TYPE = FourCC('T', 'I', 'M', 'E'),
	B_SIZE_T_TYPE = FourCC('S', 'I', 'Z', 'T'),
	B_SSIZE_T_TYPE = FourCC('S', 'S', 'Z', 'T'),
	B_OFF_T_TYPE = FourCC('O', 'F', 'F', 'T'),
};
