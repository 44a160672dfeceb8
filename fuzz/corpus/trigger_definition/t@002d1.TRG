TYPE=TRIGGERS
triggers='CREATE DEFINER=`root`@`localhost` TRIGGER `t-1_bi` BEFORE INSERT ON `t-1` FOR EACH ROW SET NEW.name = UPPER(NEW.name)'
sql_modes=1411383296
definers='root@localhost'
client_cs_names='utf8mb4'
connection_cl_names='utf8mb4_general_ci'
db_cl_names='latin1_swedish_ci'
created=1796916774065926
