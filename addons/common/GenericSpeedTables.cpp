// The speed tables of the generic MMC driver.
#include "addons/common/SpeedTables.h"

const SPEED_INFO g_GenericReadSpeed[] = {
	kMax,
	MmcU(1), MmcU(2), MmcU(4), MmcU(6), MmcU(8), MmcU(10), MmcU(12), MmcU(14), MmcU(16), MmcU(18), MmcU(20),
	MmcU(22), MmcU(24), MmcU(26), MmcU(28), MmcU(30), MmcU(32), MmcU(34), MmcU(36), MmcU(38), MmcU(40),
	MmcU(42), MmcU(44), MmcU(46), MmcU(48), MmcU(50), MmcU(52), MmcU(54), MmcU(56), MmcU(58), MmcU(60),
	MmcU(62), MmcU(64), MmcU(66), MmcU(68), MmcU(70), MmcU(72), MmcU(74), MmcU(76), MmcU(78), MmcU(80),
	kEnd,
};

const SPEED_INFO g_GenericWriteSpeed[] = {
	kMax, MmcU(1), MmcU(2), MmcU(4), MmcU(6), MmcU(8), MmcU(10), MmcU(12), kEnd,
};
