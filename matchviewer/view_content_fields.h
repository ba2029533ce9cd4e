// Twinscope's content fields of ViewState (included inside the record): the layers of the
// frame on show. Index 0 is the world points, 1 the match points; the arrays are lent by the
// application and only read by the view.
uint8_t show_world;
uint8_t show_matches;
uint8_t show_links;
uint8_t links_to_world;  // 1: lines start at the match points; 0: at the world points
int32_t point_count[2];
const struct FramePoint* point_array[2];
