// The queue page as the program ships it, shared with the window tests' resources. UTF-8:
// included after "#pragma code_page(65001)".
#pragma once

// Title, 96-DPI size (thirteen rows: twelve orders and the count of the rest), and the rows,
// which the program fills with the orders in the order they came.
#define QUEUE_PAGE_TEXT "{Очередь}{480|380}{QUEUE_1|QUEUE_2|QUEUE_3|QUEUE_4|QUEUE_5|QUEUE_6|QUEUE_7|QUEUE_8|QUEUE_9|QUEUE_10|QUEUE_11|QUEUE_12|QUEUE_13}"
