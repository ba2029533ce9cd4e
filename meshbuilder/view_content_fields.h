// Meshweaver's content fields of ViewState (included inside the record): the mesh on show.
// The arrays belong to the view once the start-up has handed them over; they are freed at
// exit, after the view has stopped painting them.
int32_t vertex_count;
int32_t triangle_count;
float* vertices;   // vertex_count x (x, y, z)
int32_t* indices;  // triangle_count x 3 vertex indices
