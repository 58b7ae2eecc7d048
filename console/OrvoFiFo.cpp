// The FIFO.
