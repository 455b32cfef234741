// The nine CSA rows of shogi's starting position, as a record holds them and
// as the text board prints them.
#ifndef FVSCOPE_TEST_START_POSITION_H_
#define FVSCOPE_TEST_START_POSITION_H_

namespace fvscope {

inline constexpr char kStartPositionRows[] =
    "P1-KY-KE-GI-KI-OU-KI-GI-KE-KY\n"
    "P2 * -HI *  *  *  *  * -KA * \n"
    "P3-FU-FU-FU-FU-FU-FU-FU-FU-FU\n"
    "P4 *  *  *  *  *  *  *  *  * \n"
    "P5 *  *  *  *  *  *  *  *  * \n"
    "P6 *  *  *  *  *  *  *  *  * \n"
    "P7+FU+FU+FU+FU+FU+FU+FU+FU+FU\n"
    "P8 * +KA *  *  *  *  * +HI * \n"
    "P9+KY+KE+GI+KI+OU+KI+GI+KE+KY\n";

}  // namespace fvscope

#endif  // FVSCOPE_TEST_START_POSITION_H_
